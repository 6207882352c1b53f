#!/usr/bin/env python3
"""Writes the seed inputs (taken from the unit tests' cases) into corpus/<target>/."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def write(target, items):
    d = os.path.join(HERE, target)
    os.makedirs(d, exist_ok=True)
    for i, data in enumerate(items):
        if isinstance(data, str):
            data = data.encode("utf-8")
        with open(os.path.join(d, "seed-%02d" % i), "wb") as f:
            f.write(data)


han = "汉"
write("fuzz_segment", [
    "Hello world. How are you?\r\nFine.", "你好。我很好，谢谢。", "   ", "\t\r\n", "。", ".",
    "a\rb", "a\r\r\nb", "abc\r", "a\nb", "你好，朋友；a,b;c、d?e？", han * 249,
    han * 200 + "，" + han * 100, han * 100 + "，" + han * 148 + "，ab",
    han * 100 + "，" + han * 148 + "。", han * 300, "a" * 600,
    han * 100 + "，" + han * 148 + "\r\nx", " \r\n \r\nx. \r\n",
])

write("fuzz_utf8", [
    "plain ascii", "你好", "😀", b"\xC0\xAF", b"\xE0\x80\xAF", b"\xED\xA0\x80", b"\xF4\x90\x80\x80",
    b"\xF0\x9F\x98", b"\xFF\xFE", b"a\xE4\xBDb", b"\x00\xD8\x00\xDC", b"\x3D\xD8\x00\xDE",
])

MARK = '<div id=result_box dir="ltr">'
def status(s, body):
    return struct.pack("<H", s) + body.encode("utf-8")
write("fuzz_form_answer", [
    status(200, "<html>" + MARK + "Hello &lt;b&gt; &#39;x&#39; &quot;q&quot;\rline</div>"),
    status(200, MARK + "no end"), status(200, "<p>nothing</p>"), status(500, MARK + "x<"),
    status(429, "busy"), status(200, MARK + MARK + "<"), status(200, MARK + "你好</div>"),
])

# First byte: the parser (0 libre, 1 deepl, 2 google, 3 microsoft, 4 apy, 5 libre languages,
# 6 apy pairs, 7 shared helpers, 8 offline engine); then "status 200?" and a header flag.
def answer(which, body, ok=True, code=200):
    # FuzzedDataProvider takes integers and flags from the end, the body from the front: the
    # parser, then "status 200", then the status (two bytes), then "no Retry-After header".
    tail = b"" if ok else bytes([code & 0xFF, code >> 8])
    return body.encode("utf-8") + bytes([0]) + tail + bytes([1 if ok else 0, which])


write("fuzz_engine_answers", [
    answer(0, '{"translatedText":"¡Hola!"}'),
    answer(0, '{"detectedLanguage":{"confidence":90,"language":"en"},"translatedText":"你好"}'),
    answer(0, '{"error":"Invalid API key $KEY"}', False, 403),
    answer(0, '{"error":"Slowdown: 20 per 1 minute"}', False, 429),
    answer(1, '{"translations":[{"detected_source_language":"ZH","text":"Hello"}]}'),
    answer(1, '{"message":"Quota exceeded"}', False, 456),
    answer(1, '{"message":"Authorization failure $PKEY"}', False, 403),
    answer(2, '{"data":{"translations":[{"translatedText":"Hallo Welt"}]}}'),
    answer(2, '{"error":{"code":400,"message":"x","details":[{"reason":"API_KEY_INVALID"}]}}', False, 400),
    answer(2, '{"error":{"code":403,"message":"m","errors":[{"message":"m","domain":"global","reason":"rateLimitExceeded"}]}}', False, 403),
    answer(3, '[{"translations":[{"text":"你好","to":"zh-Hans"}]}]'),
    answer(3, '{"error":{"code":403001,"message":"free quota exceeded"}}', False, 403),
    answer(3, '{"error":{"code":401000,"message":"credentials $KEY"}}', False, 401),
    answer(4, '{"responseData":{"translatedText":"hola"},"responseDetails":null,"responseStatus":200}'),
    answer(4, '{"status":"error","code":400,"message":"Bad Request","explanation":"That pair is not installed"}', False, 400),
    answer(4, '{"responseData":{"translatedText":"x"},"responseStatus":503,"responseDetails":"busy"}'),
    answer(5, '[{"code":"en","name":"English","targets":["es","zh"]},{"code":"zh","name":"Chinese"}]'),
    answer(6, '{"responseData":[{"sourceLanguage":"eng","targetLanguage":"spa"}]}'),
    answer(7, 'key=$KEY and %s' % "\x01\x02 tail"),
    bytes([1, 1, 1, 1, 1, 1, 1, 1, 1, 1]) + b"Hello world\x00tail" + bytes([8]),
    bytes([0, 1, 0, 1, 1, 0, 1]) + b"x\x00y\x00" + bytes([3, 8]),
])

write("fuzz_pipeline_framing", [
    b"\x01\x05hello\x00\x00\x10", b"\x01\x20one\x00two\x00three\x00\x00\x50\x00\x50\x00\x50",
    b"\x01\x03\x00\x00\x00\x00\x00", b"\x01" + b"a" * 200 + b"\x00" + b"\x00\x05",
])

write("fuzz_history", [
    "\r\nAnn 9:34:56\r\nhi there\r\nsecond line\r\nMe 10:00:00\r\nmine\r\nAnn 9:35:00\r\nlast",
    "Shello\x1e\r\nMe 10:00:00\r\n  hello\x1e\r\nAnn 12:34:56\r\nhow are you\r\n",
    "Shello\x1e\r\nOther 9:59:00\r\nhey\r\nMe 10:00:00\r\n  hello\r\n",
    "\r\nAnn (12:34 PM):\r\nx\r\nBob said:\r\ny\r\nAnn(2009-09-23 12:34:56):\r\nz\r\n",
    "\r\nAnn say:\r\nx\r\nAnn 说:\r\ny\r\n  Bob (10:00 AM)  :\r\nz",
    "Shi\x1e\r\nMe say:\r\n  hi\r\n", "\r\nAnn 9:00:00\r\na1\r\nAnn 9:00:01\r\na2\r\n",
    "  my unfinished line",
    "Shello\x1e(07:02:09) me: hello\n(07:02:10) Alice: Hello, how are you?\nsecond line\n",
    "(12/09/26 07:02:09) Alice: hi\u2028(7:02:11 PM) Bob: x\ufffc y\r\n<alice> not a speaker here",
    "Shey\x1e[07:02:09] <me> hey\n[07:02:10] <alice> hello there\n07:02:11 <bob> yo\n<carol>",
    "\n[07:02:09] Alice 说:\n  hi   \nBob says:\n\tthere\n(07:02:09) Carol: one-line here\n",
])

write("fuzz_update", [
    "<version>2009.10.01</version>", "2009.09.23\n2009.10.01", "1e5\n-3", " +1.5e-3x\n.5",
    "<url>http://h/a.exe,velmora.exe,%s</url><url>https://h/b,readme.txt</url><url></url>" % ("ab" * 32),
    "<url>http://h/x,../evil</url><url>http://h/x,dl_files</url><url>http://h/x,update.sh</url>",
    "<url>http://h/x,NUL.txt</url><url>http://h/x,a. </url><url>http://h/x,C:x</url>",
    "http://h/x,汉字.dat\nhttps://h/y,..\nftp://h/z,a\nhttp:///p,a",
])

write("fuzz_config", [
    "[translation]\nengines = deepl, form, libretranslate\n[form]\nurl=http://127.0.0.1:18080/translate_t\n",
    "[libretranslate]\nurl = \"http://h/translate\"\nkey = \"a\\\"b\\\\c\\n\"\n",
    "\xEF\xBB\xBF; comment\n# other\n[apertium]\nmodes=/usr/share/apertium/modes\n",
    "[broken\nnovalue\n=x\n[microsoft]\nregion=westeurope\nkey=\"open\n",
    "[translation]\nengines=apertium,unknown,apy,apy\n[apy]\nurl=http://127.0.0.1:2737/translate/\n",
])

write("fuzz_desktop_entry", [
    "[Desktop Entry]\nType=Application\nExec=/opt/velmora/velmora --tray\nName=Velmora\n",
    "\"C:\\Program Files\\Velmora\\velmora.exe\" /autostart",
    "/usr/bin/velmora \"two words\" 100% $HOME `x` a\\b",
    "[Other]\nExec=no\n[Desktop Entry]\nExec = \\s spaced\\ttab\\\\\r\n",
    "velmora \"\" \"tab\there\" 'q'",
])
