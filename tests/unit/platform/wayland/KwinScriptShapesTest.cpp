// Our KWin scripts run in a JavaScript engine against workspace objects shaped as Plasma 5.27's
// and Plasma 6's scripting APIs document them: the same windows, desktops and activation come
// out of both. (Plasma 5.27 itself is met in the platform tests; Plasma 6 is not packaged here.)

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJSEngine>
#include <string>

#include "platform/wayland/KwinWindowList.h"

namespace velmora::platform::wayland {
namespace {

// Two windows: {a} on the current desktop and active, {b} on another desktop.
constexpr char kPlasma5[] = R"JS(
var a = { internalId: "{a}", pid: 7, caption: "chat", resourceClass: "imsim",
          frameGeometry: { x: 10, y: 20, width: 300, height: 200 },
          bufferGeometry: { x: 10, y: 20, width: 300, height: 200 },
          minimized: false, keepAbove: false, stackingOrder: 2, hidden: false,
          onAllDesktops: false, desktop: 1 };
var b = { internalId: "{b}", pid: 8, caption: "other", resourceClass: "imsim",
          frameGeometry: { x: 0, y: 0, width: 50, height: 50 },
          bufferGeometry: { x: 0, y: 0, width: 50, height: 50 },
          minimized: false, keepAbove: false, stackingOrder: 1, hidden: false,
          onAllDesktops: false, desktop: 2 };
var workspace = { currentDesktop: 1, activeClient: a,
                  clientList: function () { return [a, b]; } };
function activeNow() { return workspace.activeClient; }
)JS";

constexpr char kPlasma6[] = R"JS(
var d1 = { id: "d1" }, d2 = { id: "d2" };
var a = { internalId: "{a}", pid: 7, caption: "chat", resourceClass: "imsim",
          frameGeometry: { x: 10, y: 20, width: 300, height: 200 },
          bufferGeometry: { x: 10, y: 20, width: 300, height: 200 },
          minimized: false, keepAbove: false, stackingOrder: 2, hidden: false,
          onAllDesktops: false, desktops: [d1] };
var b = { internalId: "{b}", pid: 8, caption: "other", resourceClass: "imsim",
          frameGeometry: { x: 0, y: 0, width: 50, height: 50 },
          bufferGeometry: { x: 0, y: 0, width: 50, height: 50 },
          minimized: false, keepAbove: false, stackingOrder: 1, hidden: false,
          onAllDesktops: false, desktops: [d2] };
var workspace = { currentDesktop: d1, activeWindow: a,
                  windowList: function () { return [a, b]; } };
function activeNow() { return workspace.activeWindow; }
)JS";

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "unit_kwin_window_list";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// What the script reported, as KwinScripting receives it, and the active window after it.
std::string RunScript(const char* shape, const std::string& body) {
    App();
    QJSEngine engine;
    engine.evaluate(QString::fromUtf8(shape));
    engine.evaluate(
        QStringLiteral("var reported = ''; function report(v) { reported = "
                       "JSON.stringify(v); }"));
    const QJSValue result = engine.evaluate(QString::fromStdString(body));
    if (result.isError()) return "error: " + result.toString().toStdString();
    const QJSValue now = engine.evaluate(QStringLiteral("String(activeNow().internalId)"));
    return engine.globalObject().property(QStringLiteral("reported")).toString().toStdString() +
           " active " + now.toString().toStdString();
}

TEST(KwinScriptShapes, ListingAndActivationReadAlikeOnPlasma5And6) {
    for (const char* shape : {kPlasma5, kPlasma6}) {
        SCOPED_TRACE(shape == kPlasma5 ? "Plasma 5" : "Plasma 6");
        const std::string listed =
            RunScript(shape, std::string(kKwinListScript) + "report(snapshot());");
        const auto json = listed.substr(0, listed.rfind(" active "));
        const auto s = ParseKwinSnapshot(json);
        ASSERT_TRUE(s) << listed;
        EXPECT_EQ(s->active, "{a}");
        ASSERT_EQ(s->windows.size(), 2u);
        EXPECT_TRUE(s->windows[0].shown) << "on the current desktop";
        EXPECT_FALSE(s->windows[1].shown) << "on another desktop";
        EXPECT_EQ(s->windows[0].frame, (Rect{10, 20, 310, 220}));

        const auto act = [&](const char* id) {
            return RunScript(shape, std::string(kKwinListScript) + "var c = byId(\"" + id +
                                        "\"); if (c) { activate(c); } report(!!c);");
        };
        EXPECT_EQ(act("{b}"), "true active {b}");
        EXPECT_EQ(act("{gone}"), "false active {a}");
    }
}

}  // namespace
}  // namespace velmora::platform::wayland
