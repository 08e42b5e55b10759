#include "com_port_adapter.h"

#include <algorithm>

#include "af_com_port.h"

bool ComPortAdapter::isOpen() const { return port_->IsOpen(); }
bool ComPortAdapter::lineHungUp() const { return port_->LineHungUp(); }
void ComPortAdapter::discardInput() { port_->DiscardInput(); }
void ComPortAdapter::discardOutput() { port_->DiscardOutput(); }
int ComPortAdapter::inQueueCount() const { return port_->InQueueCount(); }

int ComPortAdapter::read(uint8_t* dest, int max) {
    const int n = std::min(max, int(port_->InQueueCount()));
    if (n > 0) port_->ReadBlock(dest, n);
    return std::max(n, 0);
}

void ComPortAdapter::sendText(const QByteArray& text) { port_->SendText(text); }
void ComPortAdapter::sendByte(uint8_t byte) { port_->SendByte(byte); }
int ComPortAdapter::outQueueUsed() const { return port_->OutQueueUsed(); }

int ComPortAdapter::baudRate() const {
    const TAfBaudrate rate = port_->BaudRate();
    return rate == TAfBaudrate::brUser ? port_->UserBaudRate() : BaudRateValue(rate);
}
