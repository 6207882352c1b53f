#include "platform/wayland/SwayIpc.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

std::string Frame(std::uint32_t type, const std::string& payload, const char* magic = "i3-ipc") {
    const auto length = static_cast<std::uint32_t>(payload.size());
    std::string out(magic, 6);
    out.append(reinterpret_cast<const char*>(&length), 4);
    out.append(reinterpret_cast<const char*>(&type), 4);
    return out + payload;
}

// A real UNIX socket that answers one connection with canned bytes, then closes it (or keeps
// it open without a word more, as a hung sway would).
class CannedServer {
  public:
    CannedServer(std::string answer, bool holdOpen) : path_((dir_.path() / "ipc.sock").string()) {
        listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path_.c_str(), sizeof addr.sun_path - 1);
        if (bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(listen_, 4) != 0)
            ADD_FAILURE() << "cannot listen on " << path_;
        thread_ = std::thread([this, answer = std::move(answer), holdOpen] {
            pollfd p{listen_, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0) return;
            const int conn = accept(listen_, nullptr, nullptr);
            if (conn < 0) return;
            request_ = ReadRequest(conn);
            if (!answer.empty()) (void)!write(conn, answer.data(), answer.size());
            if (holdOpen) {
                // Until the client gives up and closes its end.
                pollfd c{conn, POLLIN, 0};
                char byte;
                while (poll(&c, 1, 5000) > 0 && read(conn, &byte, 1) > 0) {
                }
            }
            close(conn);
        });
    }
    ~CannedServer() {
        if (thread_.joinable()) thread_.join();
        close(listen_);
    }
    const std::string& path() const { return path_; }
    // The bytes of the request, once the server thread has ended.
    const std::string& Request() {
        if (thread_.joinable()) thread_.join();
        return request_;
    }

  private:
    static std::string ReadRequest(int conn) {
        std::string got;
        char buf[4096];
        pollfd p{conn, POLLIN, 0};
        // Header first, then as much payload as it announces.
        while (poll(&p, 1, 2000) > 0) {
            const ssize_t n = read(conn, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
            if (got.size() >= 14) {
                std::uint32_t length = 0;
                std::memcpy(&length, got.data() + 6, 4);
                if (got.size() >= 14 + length) break;
            }
        }
        return got;
    }
    TempDir dir_;
    std::string path_;
    int listen_ = -1;
    std::string request_;
    std::thread thread_;
};

constexpr SwayIpc::Limits kShort{.timeoutMs = 300, .maxPayload = 4096};

const char* kOneView = R"({"id":1,"type":"root","nodes":[{"id":7,"type":"con","pid":42,
  "app_id":"imsim","name":"Chat","focused":true,"visible":true,
  "rect":{"x":0,"y":0,"width":640,"height":800},
  "window_rect":{"x":2,"y":24,"width":636,"height":774}}]})";

TEST(SwayIpc, GetTreeSendsAFramedRequestAndReadsTheViews) {
    CannedServer server(Frame(SwayIpc::kGetTree, kOneView), false);
    SwayIpc ipc(server.path(), kShort);
    const auto views = ipc.GetTree();
    ASSERT_TRUE(views);
    ASSERT_EQ(views->size(), 1u);
    EXPECT_EQ((*views)[0].id, 7);
    EXPECT_EQ(server.Request(), Frame(SwayIpc::kGetTree, ""));
}

TEST(SwayIpc, RunCommandSendsTheCommandAndReadsEverySuccess) {
    struct Case {
        const char* answer;
        bool success;
    };
    const Case cases[] = {
        {R"([{"success":true}])", true},
        {R"([{"success":true},{"success":true}])", true},
        {R"([{"success":true},{"success":false,"error":"No matching node."}])", false},
        {R"([{"success":"true"}])", false},
        {R"([])", false},
        {R"({"success":true})", false},
        {R"([{"success":tr)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        CannedServer server(Frame(SwayIpc::kRunCommand, c.answer), false);
        SwayIpc ipc(server.path(), kShort);
        EXPECT_EQ(ipc.RunCommand("[con_id=7] focus"), c.success);
        EXPECT_EQ(server.Request(), Frame(SwayIpc::kRunCommand, "[con_id=7] focus"));
    }
}

// Each answer is one a broken or hostile peer could give: none may crash, hang or pass.
TEST(SwayIpc, BadAnswersFailWithinTheTimeout) {
    const std::string good = Frame(SwayIpc::kGetTree, kOneView);
    std::string oversized = Frame(SwayIpc::kGetTree, "");
    const std::uint32_t huge = kShort.maxPayload + 1;
    std::memcpy(oversized.data() + 6, &huge, 4);
    std::string longer = good;  // announces more than it sends
    const std::uint32_t more = static_cast<std::uint32_t>(std::strlen(kOneView) + 10);
    std::memcpy(longer.data() + 6, &more, 4);
    struct Case {
        const char* name;
        std::string answer;
        bool holdOpen;
    };
    const Case cases[] = {
        {"closed with no answer", "", false},
        {"silent and open", "", true},
        {"half a header", good.substr(0, 9), false},
        {"wrong magic", Frame(SwayIpc::kGetTree, kOneView, "i3-ipx"), false},
        {"answer to another request", Frame(SwayIpc::kRunCommand, kOneView), false},
        {"event instead of an answer", Frame(0x80000000u, kOneView), false},
        {"payload over the cap", oversized, true},
        {"payload cut short, closed", longer, false},
        {"payload cut short, open", longer, true},
        {"not JSON", Frame(SwayIpc::kGetTree, "<html>"), false},
        {"JSON but no tree", Frame(SwayIpc::kGetTree, R"([{"success":true}])"), false},
        {"tree that is not the root", Frame(SwayIpc::kGetTree, R"({"type":"con"})"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CannedServer server(c.answer, c.holdOpen);
        SwayIpc ipc(server.path(), kShort);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(ipc.GetTree());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    }
}

TEST(SwayIpc, NoSocketIsAFailure) {
    TempDir dir;
    EXPECT_FALSE(SwayIpc((dir.path() / "none.sock").string(), kShort).GetTree());
    EXPECT_FALSE(SwayIpc("", kShort).RunCommand("nop"));
    EXPECT_FALSE(SwayIpc(std::string(200, 'x'), kShort).RunCommand("nop"));
}

TEST(SwayIpc, ParseTreeFindsTiledFloatingAndXwaylandViews) {
    const char* tree = R"({"id":1,"type":"root","rect":{"x":0,"y":0,"width":1280,"height":800},
      "nodes":[{"id":3,"type":"output","name":"HEADLESS-1","nodes":[
        {"id":4,"type":"workspace","name":"1","nodes":[
          {"id":5,"type":"con","layout":"splitv","nodes":[
            {"id":6,"type":"con","pid":100,"app_id":"chat","name":"Alice","focused":false,
             "visible":true,"rect":{"x":0,"y":0,"width":640,"height":800},
             "window_rect":{"x":2,"y":24,"width":636,"height":774}}]}],
          "floating_nodes":[
            {"id":9,"type":"floating_con","pid":200,"app_id":null,"name":null,"focused":true,
             "visible":true,"window_properties":{"class":"XTerm"},
             "rect":{"x":100,"y":50,"width":300,"height":200}}]}]},
        {"id":2,"type":"output","name":"__i3","nodes":[{"id":10,"type":"workspace",
          "name":"__i3_scratch","floating_nodes":[{"id":11,"type":"floating_con","pid":300,
          "app_id":"hidden","visible":false,"rect":{"x":0,"y":0,"width":10,"height":10}}]}]}]})";
    const auto views = ParseTree(tree);
    ASSERT_TRUE(views);
    const std::vector<SwayWindow> expected = {
        {.id = 6,
         .pid = 100,
         .appId = "chat",
         .name = "Alice",
         .frame = {0, 0, 640, 800},
         .content = {2, 24, 636, 774},
         .focused = false,
         .visible = true,
         .floating = false},
        {.id = 9,
         .pid = 200,
         .appId = "XTerm",
         .name = "",
         .frame = {100, 50, 300, 200},
         .content = {100, 50, 300, 200},
         .focused = true,
         .visible = true,
         .floating = true},
        {.id = 11,
         .pid = 300,
         .appId = "hidden",
         .name = "",
         .frame = {0, 0, 10, 10},
         .content = {0, 0, 10, 10},
         .focused = false,
         .visible = false,
         .floating = true},
    };
    EXPECT_EQ(*views, expected);
}

TEST(SwayIpc, ParseTreeSkipsNodesItCannotTrust) {
    struct Case {
        const char* name;
        std::string nodes;
        std::size_t views;
    };
    std::string deep;
    for (int i = 0; i < 2000; ++i) deep += R"({"type":"con","nodes":[)";
    deep += R"({"id":1,"pid":1,"app_id":"a","rect":{"x":0,"y":0,"width":1,"height":1}})";
    for (int i = 0; i < 2000; ++i) deep += "]}";
    const Case cases[] = {
        {"id that is text", R"({"id":"7","pid":1,"app_id":"a","rect":{}})", 0},
        {"no rectangle", R"({"id":7,"pid":1,"app_id":"a"})", 0},
        {"no pid (a split container)", R"({"id":7,"app_id":"a","rect":{}})", 0},
        {"coordinates out of range read as 0",
         R"({"id":7,"pid":1,"app_id":"a","rect":{"x":1e30,"y":99999999999}})", 1},
        {"children that are not a list", R"({"id":5,"nodes":{"id":7}})", 0},
        {"nesting far deeper than sway makes", deep, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto views = ParseTree(R"({"type":"root","nodes":[)" + c.nodes + "]}");
        ASSERT_TRUE(views);
        EXPECT_EQ(views->size(), c.views);
        if (!views->empty()) {
            EXPECT_EQ((*views)[0].frame, (SwayRect{0, 0, 0, 0}));
        }
    }
}

}  // namespace
}  // namespace velmora::platform::wayland
