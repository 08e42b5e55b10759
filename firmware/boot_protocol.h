#pragma once
// The boot loader's byte protocol and the checks made on a firmware image before it is
// sent: the display's marker, the version text, the escaping of the data streams and
// which image lengths suit which processor.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

namespace vorkal {

struct FirmwareImage;

// A command is kBootEscape followed by the command byte.
constexpr uint8_t kBootEscape = 0xA5;
constexpr uint8_t kBootIdentify = 0x01;
constexpr uint8_t kBootProgram = 0x04;
constexpr uint8_t kBootStartFirmware = 0x05;
constexpr uint8_t kBootVerify = 0x07;
constexpr uint8_t kBootEndOfData = 0x80;
// An image byte kBootEscape travels as kBootEscape, kBootEscapedData.
constexpr uint8_t kBootEscapedData = 0x25;

// Reply bytes.
constexpr uint8_t kBootHandshakeReply = 0xA6;
constexpr uint8_t kBootSuccess = 0xAA;
constexpr uint8_t kBootFailure = 0xAB;

// Block sizes the boot loader reports; each names one processor.
constexpr uint16_t kSmallBlockSize = 512;
constexpr uint16_t kLargeBlockSize = 1792;
constexpr int kSmallProcessorMaxLength = 15870;
constexpr int kLargeProcessorMinLength = 15900;

// The marker and the version are looked for in image bytes 0 .. 1000.
constexpr int kMarkerWindow = 1001;

// "Mofe" followed by 0xFF: wakes the boot loader.
QByteArray BootHandshake();

// The image's first kMarkerWindow bytes contain "Vorkal".
bool HasFirmwareMarker(const FirmwareImage& image);

// The five characters from the first "vD." (D tried from 0 to 9) in the marker window,
// cut at the window's end; "v?.??" when there is none.
QByteArray FirmwareVersionText(const FirmwareImage& image);

// A version text fit for a message: control characters shown as '?', so that a stray
// NUL or line break cannot cut or garble the question around it.
QString PrintableVersion(QByteArrayView text);

// The bytes that carry `byte` inside a program or verify stream.
void AppendEscaped(QByteArray& wire, uint8_t byte);
// Wire bytes of `length` image bytes after escaping.
int EscapedLength(const uint8_t* bytes, int length);

bool IsKnownBlockSize(uint32_t blockSize);
// Whether an image of `length` bytes may be programmed into the processor that reports
// `blockSize`.
bool ImageSuitsBlockSize(int length, uint32_t blockSize);

// The lines added after "not right firmware" and "Incompatible firmare !": what was
// looked for and not found, and the image's size against what the boot loader of
// `blockSize` takes.
QString NotVorkalFirmwareReason(bool polish);
QString IncompatibleFirmwareReason(int length, uint32_t blockSize, bool polish);

// Why a read image must not be sent: data in the boot loader's area (kHexStorageBound
// and up), which would be left as 0xFF while the update reports success. Names the
// first such address; empty when the image is free of it. The window's update and
// vorkal-cli's flash both ask it before anything goes to the display.
QString BootAreaRefusal(const FirmwareImage& image, bool polish);

// Texts of the update, in English or Polish.
enum class FirmwareText {
    NotVorkalFirmware,
    ConfirmCaption,
    UpdateSuccessful,
    WaitingForConnect,
    NoCommunication,
    PowerCycleInstructions,
    ErrorDuringProgramming,
    NotRecognizedProcessor,
    IncompatibleFirmware,
    Programming,
    Verifying,
    VerificationError,
};
QString FirmwareUpdateText(FirmwareText which, bool polish);
// The question asked before an update: both versions are only shown, never compared.
QString ConfirmUpdateQuestion(const QString& current, const QString& next, bool polish);

}  // namespace vorkal
