#include <gtest/gtest.h>

#include "platform/fake/FakePlatform.h"
#include "update/mduAutoUpdate.h"

namespace au = velmora::update::mduAutoUpdate;
using velmora::platform::HttpError;
using velmora::platform::HttpResponse;
using velmora::platform::fake::FakePlatform;

TEST(FileList, ParseTable) {
    struct Case {
        std::u16string body;
        std::vector<std::u16string> entries;
    };
    const std::vector<Case> cases = {
        {u"<url>http://h/velmora,velmora</url>\r\n<url>http://h/libq.so,libq.so</url>",
         {u"http://h/velmora,velmora", u"http://h/libq.so,libq.so"}},
        {u"", {}},
        {u"no elements here", {}},
        {u"<url>a,b</url><url></url><url>c,d</url>", {u"a,b"}},  // empty element ends the list
        {u"<url>a,b</url><url>c,d", {u"a,b"}},                   // unclosed element
        {u"<url>http://h/x,x,0,0,0</url>", {u"http://h/x,x,0,0,0"}},
    };
    for (const auto& c : cases) EXPECT_EQ(au::ParseFileList(c.body), c.entries);
}

TEST(FileList, FetchedFromLastFilesOnlyWithStatus200) {
    FakePlatform f;
    f.http.responses.push_back(HttpResponse{200, "<url>http://h/a,a</url>"});
    f.http.responses.push_back(HttpResponse{500, "<url>http://h/a,a</url>"});
    auto pf = f.platform();
    EXPECT_EQ(au::GetUpdateFileList(pf, "http://upd"),
              std::vector<std::u16string>{u"http://h/a,a"});
    EXPECT_EQ(f.http.requests[0].url, "http://upd/last_files.php");
    EXPECT_TRUE(au::GetUpdateFileList(pf, "http://upd").empty());
    // The one failure that reaches start-up.
    EXPECT_THROW(au::GetUpdateFileList(pf, "http://upd"), HttpError);
}
