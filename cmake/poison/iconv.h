#error "platform-independent logic must reach this service through a port in src/platform"
