#include "Pages.h"

namespace velmora::tools {

namespace {

std::string Page(const std::string& title, const std::string& style, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" + title +
           "</title><style>body{margin:0;font-family:'WenQuanYi Micro Hei',sans-serif;}"
           "*{box-sizing:border-box;}" +
           style + "</style></head><body>" + body + "</body></html>\n";
}

}  // namespace

std::string AdPage1() {
    std::string items;
    const char* offers[] = {"新用户注册即送翻译点数", "商务版：支持多窗口同时翻译",
                            "教育优惠：学生半价",     "企业定制：专属术语库",
                            "夏季特惠：年费八折",     "推荐好友，双方各得一个月"};
    for (const char* o : offers) items += "<li>" + std::string(o) + "</li>";
    return Page("推荐",
                "#ad{width:100%;height:1400px;background:#fff4d6;color:#663300;"
                "overflow-wrap:anywhere;}"
                "h1{font-size:20px;margin:8px;} li{margin:12px 0;font-size:14px;}",
                "<div id=\"ad\"><h1>Quillet 精选推荐</h1><ul>" + items +
                    "</ul><p>更多优惠，敬请关注。</p></div>");
}

std::string AdPage2() {
    return Page("公告",
                "#ad{width:100%;height:900px;background:#e6f2ff;color:#003366;"
                "overflow-wrap:anywhere;}"
                "p{margin:10px;font-size:14px;}",
                "<div id=\"ad\"><p>公告：新版本已发布，启动时自动更新。</p>"
                "<p>客服热线：工作日 9:00–18:00</p><p>感谢您的支持！</p></div>");
}

std::string HelpPage() {
    return Page(
        "帮助",
        "main{max-width:760px;margin:16px auto;line-height:1.7;color:#222;}"
        "h1{font-size:22px;} h2{font-size:17px;margin-top:24px;}",
        "<main><h1>Quillet 使用帮助</h1>"
        "<h2>一、设置目标</h2><p>点击右侧的三个图标，在冻结的屏幕画面上依次点选聊天窗口的"
        "输入框、消息记录区和发送按钮。</p>"
        "<h2>二、发送消息</h2><p>在下方输入框中输入文字，按 Ctrl+Enter 或 Alt+S，"
        "译文会自动粘贴到聊天窗口并发送。</p>"
        "<h2>三、接收消息</h2><p>光标停留在输入框中五秒后，程序会读取对方的新消息并显示译文。"
        "</p><h2>四、发送快捷键</h2><p>在设置菜单中选择聊天软件使用的发送快捷键。</p>"
        "<h2>五、常见问题</h2><p>如果译文没有出现，请检查网络连接，或重新设置目标位置。</p>"
        "</main>");
}

std::string NoBodyDocument() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"600\" height=\"900\">"
           "<rect width=\"600\" height=\"900\" fill=\"#cde\"/></svg>\n";
}

}  // namespace velmora::tools
