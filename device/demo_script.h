#pragma once
// The status poll's fixed script: version queries, header refreshes and sample
// telemetry lines that make a connected display show live-looking values.

#include <QByteArray>

namespace vorkal {

constexpr int kDemoScriptLength = 65;  // positions 0..64
constexpr char kVersionMarker = '*';
constexpr char kHeaderMarker = 'm';
constexpr char kEndMarker = 0x40;

// The entry at `position` as it goes on the line (Windows-1250, without CR LF); a marker
// is its single character. Positions outside 0..64 give the end marker.
QByteArray DemoScriptEntry(int position);

}  // namespace vorkal
