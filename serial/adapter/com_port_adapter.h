#pragma once
// The serial port component as the display session's byte port.

#include <functional>

#include "byte_port.h"

class TAfComPort;

class ComPortAdapter : public vorkal::BytePort {
public:
    // `reopen` closes and opens the port again at a PC speed index, as the window's Open does.
    ComPortAdapter(TAfComPort* port, std::function<void(int)> reopen) : port_(port), reopen_(std::move(reopen)) {}
    ~ComPortAdapter() override;

    bool isOpen() const override;
    bool lineHungUp() const override;
    void discardInput() override;
    void discardOutput() override;
    int inQueueCount() const override;
    int read(uint8_t* dest, int max) override;
    void sendText(const QByteArray& text) override;
    void sendByte(uint8_t byte) override;
    int outQueueUsed() const override;
    int baudRate() const override;
    void reopen(int speedIndex) override { reopen_(speedIndex); }

private:
    // The trace gets whole lines: bytes sent one at a time (the boot loader's frames) and
    // bytes read in pieces are gathered until a line ends, the direction turns or a
    // trace line is full.
    void traceOut(const QByteArray& bytes);
    void traceIn(const QByteArray& bytes);
    void flushTrace();

    TAfComPort* port_;
    std::function<void(int)> reopen_;
    QByteArray tracedOut_;
    QByteArray tracedIn_;
};
