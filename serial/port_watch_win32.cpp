#include "port_watch.h"

// No device-change notification yet: the port list is filled at each drop-down.
PortWatch::PortWatch(QObject* parent) : QObject(parent) {}

PortWatch::~PortWatch() = default;

void PortWatch::readEvents() {}

void PortWatch::watchPortDirectory() {}
