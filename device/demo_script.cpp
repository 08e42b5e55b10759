#include "demo_script.h"

#include <QString>
#include <array>

#include "win1250.h"

namespace vorkal {

namespace {

// Written here in UTF-8; the display gets Windows-1250 (the degree sign is 0xB0).
constexpr std::array<const char*, kDemoScriptLength> kEntries = {
    "*",
    "RSSI=!020 RCQ=080 U=05.0V T=-22°C P=53000 F=01 I=12.3A",
    "Pos=33.12345N, 006.54321E HD=04.2",
    "t=21:02:11 f=0 s=00 c=180 v=035 h=0000",
    "UTX=!09.2V STX=090",
    "Azi=003 Ele=08 Dis=00045m",
    "Deb= 00003  12345 -02439  00000",
    "*",
    "*",
    "RSSI=!020 RCQ=080 U=05.0V T=-22°C P=53000 F=01 I=12.3A",
    "Pos=33.123456N, 006.543216E HD=04.2",
    "t=21:02:11 f=0 s=00 c=180 v=035 h=0000",
    "UTX=!09.2V STX=090",
    "Azi=003 Ele=08 Dis=00045m",
    "Deb= 00003  12345 -02439  00000",
    "m",
    "*",
    "RSSI=052 RCQ=055 U=!03.0V T=-09°C P=53090 F=05 I=35.8A",
    "Pos=53.12345N, 019.54321W HD=04.2",
    "t=21:02:11 f=0 s=05 c=000 v=000 h=0290",
    "UTX=!09.2V STX=090",
    "Azi=025 Ele=45 Dis=00210m",
    "Deb= 00003  12345 -02439  00000",
    "*",
    "*",
    "RSSI=052 RCQ=055 U=!03.0V T=-09°C P=53090 F=05 I=35.8A",
    "Pos=53.123456N, 019.543216W HD=04.2",
    "t=21:02:11 f=0 s=05 c=000 v=000 h=0290",
    "UTX=!09.2V STX=100",
    "Azi=025 Ele=45 Dis=00210m",
    "Deb=-00021 -12345 -02439 -00000",
    "m",
    "*",
    "RSSI=070 RCQ=100 U=11.2V T=04°C P=53090 F=07 I=99.9A",
    "Pos=23.12345S, 104.54321E HD=11.7",
    "t=11:35:02 f=0 s=10 c=241 v=120 h=1420",
    "UTX=11.5V STX=100",
    "Azi=180 Ele=70 Dis=01345m",
    "Deb=-00021 -12345 -02439 -00000",
    "*",
    "*",
    "RSSI=070 RCQ=100 U=11.2V T=04°C P=53090 F=07 I=99.9A",
    "Pos=23.123456S, 104.543216E HD=11.7",
    "t=11:35:02 f=0 s=10 c=241 v=120 h=1420",
    "UTX=11.5V STX=100",
    "Azi=180 Ele=70 Dis=01345m",
    "Deb=-00021 -12345 -02439 -00000",
    "m",
    "*",
    "RSSI=100 RCQ=100 U=11.2V T=20°C P=53000 F=02 I=00.5A",
    "Pos=05.12345S, 064.54321W HD=11.7",
    "t=11:35:02 f=0 s=13 c=241 v=080 h=-0023",
    "UTX=11.5V STX=032",
    "Azi=341 Ele=90 Dis=12345m",
    "Deb= 02051 -04321 -02439  23456",
    "*",
    "*",
    "RSSI=100 RCQ=100 U=11.2V T=20°C P=53000 F=02 I=00.5A",
    "Pos=05.123456S, 064.543216W HD=11.7",
    "t=11:35:02 f=0 s=13 c=241 v=080 h=-0023",
    "UTX=11.5V STX=032",
    "Azi=341 Ele=90 Dis=12345m",
    "Deb= 02051 -04321 -02439  23456",
    "m",
    "@",
};

}  // namespace

QByteArray DemoScriptEntry(int position) {
    if (position < 0 || position >= kDemoScriptLength) return QByteArray(1, kEndMarker);
    return ToWindows1250(QString::fromUtf8(kEntries[size_t(position)]));
}

}  // namespace vorkal
