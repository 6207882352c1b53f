// A program on the accessibility bus whose answers come late, in the order that once hung the
// reader of trees: its first tree (the cache's item list) arrives while the reader still waits
// for another answer of the same program. It registers with the desktop, writes its ready file,
// and runs until killed.

#include <gio/gio.h>

#include <cstdio>
#include <string>

namespace {

constexpr char kRoot[] = "/org/a11y/atspi/accessible/root";
constexpr char kCache[] = "/org/a11y/atspi/cache";
// The item list goes out after this, the child count after the longer delay.
constexpr guint kItemsMs = 300;
constexpr guint kChildCountMs = 1500;

const char kXml[] = R"xml(<node>
  <interface name="org.a11y.atspi.Accessible">
    <method name="GetState"><arg direction="out" type="au"/></method>
    <method name="GetRole"><arg direction="out" type="u"/></method>
    <method name="GetChildAtIndex"><arg direction="in" type="i"/><arg direction="out" type="(so)"/></method>
    <method name="GetInterfaces"><arg direction="out" type="as"/></method>
    <property name="ChildCount" type="i" access="read"/>
    <property name="Name" type="s" access="read"/>
  </interface>
  <interface name="org.a11y.atspi.Application">
    <method name="GetApplicationBusAddress"><arg direction="out" type="s"/></method>
    <property name="Id" type="i" access="readwrite"/>
  </interface>
  <interface name="org.a11y.atspi.Cache">
    <method name="GetItems"><arg direction="out" type="a((so)(so)(so)iiassusau)"/></method>
  </interface>
</node>)xml";

GDBusConnection* bus = nullptr;

GVariant* Items() {
    const char* me = g_dbus_connection_get_unique_name(bus);
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("a((so)(so)(so)iiassusau)"));
    const char* ifaces[] = {"org.a11y.atspi.Accessible", "org.a11y.atspi.Application", nullptr};
    g_variant_builder_add(&items, "((so)(so)(so)ii^assusau)", me, kRoot, me, kRoot, "",
                          "/org/a11y/atspi/null", -1, 0, ifaces, "slow tree", 75u, "", nullptr);
    return g_variant_new("(a((so)(so)(so)iiassusau))", &items);
}

gboolean Later(gpointer data) {
    auto* call = static_cast<GDBusMethodInvocation*>(data);
    const std::string method = g_dbus_method_invocation_get_method_name(call);
    if (method == "GetItems") {
        g_dbus_method_invocation_return_value(call, Items());
    } else {
        g_dbus_method_invocation_return_value(call, g_variant_new("(v)", g_variant_new_int32(0)));
    }
    return G_SOURCE_REMOVE;
}

void Call(GDBusConnection*, const char*, const char*, const char* iface, const char* method,
          GVariant* params, GDBusMethodInvocation* call, gpointer) {
    const std::string m = method;
    if (m == "GetItems") {
        g_timeout_add(kItemsMs, Later, call);
    } else if (m == "GetApplicationBusAddress") {
        g_dbus_method_invocation_return_value(call, g_variant_new("(s)", ""));
    } else if (m == "GetState") {
        GVariantBuilder b;
        g_variant_builder_init(&b, G_VARIANT_TYPE("au"));
        g_variant_builder_add(&b, "u", 0u);
        g_variant_builder_add(&b, "u", 0u);
        g_dbus_method_invocation_return_value(call, g_variant_new("(au)", &b));
    } else if (m == "GetRole") {
        g_dbus_method_invocation_return_value(call, g_variant_new("(u)", 75u));
    } else if (m == "GetInterfaces") {
        const char* ifaces[] = {"org.a11y.atspi.Accessible", "org.a11y.atspi.Application", nullptr};
        g_dbus_method_invocation_return_value(call, g_variant_new("(^as)", ifaces));
    } else if (m == "Set") {
        g_dbus_method_invocation_return_value(call, nullptr);
    } else if (m == "Get" && std::string(iface) == "org.freedesktop.DBus.Properties") {
        const char* name = nullptr;
        g_variant_get(params, "(&s&s)", nullptr, &name);
        if (std::string(name) == "ChildCount")
            g_timeout_add(kChildCountMs, Later, call);
        else if (std::string(name) == "Name")
            g_dbus_method_invocation_return_value(
                call, g_variant_new("(v)", g_variant_new_string("slow tree")));
        else
            g_dbus_method_invocation_return_value(call,
                                                  g_variant_new("(v)", g_variant_new_int32(0)));
    } else {
        g_dbus_method_invocation_return_dbus_error(call, "org.freedesktop.DBus.Error.UnknownMethod",
                                                   method);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    GError* error = nullptr;
    GDBusConnection* session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!session) return 3;
    GVariant* reply = g_dbus_connection_call_sync(
        session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
        G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (!reply) return 4;
    const char* address = nullptr;
    g_variant_get(reply, "(&s)", &address);
    bus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_variant_unref(reply);
    if (!bus) return 5;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kXml, &error);
    if (!node) return 6;
    // No property functions: property calls come to Call, so that one of them can be late.
    const GDBusInterfaceVTable vtable{Call, nullptr, nullptr, {}};
    for (GDBusInterfaceInfo** i = node->interfaces; *i; ++i) {
        const char* path = std::string((*i)->name) == "org.a11y.atspi.Cache" ? kCache : kRoot;
        if (!g_dbus_connection_register_object(bus, path, *i, &vtable, nullptr, nullptr, &error))
            return 7;
    }
    GVariant* embedded = g_dbus_connection_call_sync(
        bus, "org.a11y.atspi.Registry", kRoot, "org.a11y.atspi.Socket", "Embed",
        g_variant_new("((so))", g_dbus_connection_get_unique_name(bus), kRoot), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (!embedded) return 8;
    g_variant_unref(embedded);
    if (FILE* f = std::fopen(argv[1], "w")) std::fclose(f);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);
    return 0;
}
