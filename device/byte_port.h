#pragma once
// What the display session needs of a serial port. The program adapts its serial port
// component to it; tests put a scripted port behind it.

#include <QByteArray>
#include <cstdint>

namespace vorkal {

class BytePort {
public:
    virtual ~BytePort() = default;

    virtual bool isOpen() const = 0;
    // The line went away while the port is still open: its close waits for the event
    // loop. Code that does not return to the loop asks here instead.
    virtual bool lineHungUp() const { return false; }
    // Purges the receive queue.
    virtual void discardInput() = 0;
    // Purges the transmit queue.
    virtual void discardOutput() = 0;
    // Bytes waiting in the receive queue.
    virtual int inQueueCount() const = 0;
    // Takes up to `max` waiting bytes; returns how many were taken.
    virtual int read(uint8_t* dest, int max) = 0;
    // Queues bytes for sending; an empty text sends nothing.
    virtual void sendText(const QByteArray& text) = 0;
    virtual void sendByte(uint8_t byte) = 0;
    // Bytes queued for sending that the port has not yet taken.
    virtual int outQueueUsed() const = 0;
    // The line speed in baud; 0 when unknown.
    virtual int baudRate() const = 0;
    // Closes and opens the port again at PC speed index `speedIndex` (0..4 for
    // 57600 .. 4800 baud), the way the user's Open does it.
    virtual void reopen(int speedIndex) = 0;
};

}  // namespace vorkal
