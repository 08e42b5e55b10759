#pragma once
// The stored preferences: the language, the port and its adapter, the speed. The store is opened for each single read or write.

#include <QString>
#include <optional>

namespace vorkal {

struct Preferences {
    // A value that is absent or not an integer reads as absent.
    static std::optional<int> readLang();
    static std::optional<int> readPort();
    static std::optional<int> readSpeed();
    // Throw std::runtime_error("Failed to set data for '<name>'") when the store cannot be written.
    static void writeLang(int value);
    static void writePort(int value);
    static void writeSpeed(int value);
    // The adapter of the stored port (ReadAdapterIdentity), so that it is found again
    // under another number; empty: none known. An empty one removes the value.
    static QString readPortAdapter();
    static void writePortAdapter(const QString& identity);
};

}  // namespace vorkal
