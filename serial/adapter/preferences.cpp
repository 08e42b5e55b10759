#include "preferences.h"

#include <QSettings>
#include <stdexcept>

namespace vorkal {

namespace {

std::optional<int> readValue(const char* name) {
    QSettings store("Brask", "Vorkal");
    const QVariant v = store.value(name);
    if (!v.isValid()) return std::nullopt;
    bool ok = false;
    const qlonglong n = v.toString().toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > INT32_MAX) return std::nullopt;
    return int(n);
}

void writeValue(const char* name, int value) {
    QSettings store("Brask", "Vorkal");
    store.setValue(name, value);
    store.sync();
    if (store.status() != QSettings::NoError || !store.isWritable())
        throw std::runtime_error(QString("Failed to set data for '%1'").arg(name).toStdString());
}

}  // namespace

std::optional<int> Preferences::readLang() { return readValue("Lang"); }
std::optional<int> Preferences::readPort() { return readValue("Port"); }
std::optional<int> Preferences::readSpeed() { return readValue("Speed"); }
void Preferences::writeLang(int value) { writeValue("Lang", value); }
void Preferences::writePort(int value) { writeValue("Port", value); }
void Preferences::writeSpeed(int value) { writeValue("Speed", value); }

QString Preferences::readPortAdapter() { return QSettings("Brask", "Vorkal").value("PortAdapter").toString(); }

void Preferences::writePortAdapter(const QString& identity) {
    QSettings store("Brask", "Vorkal");
    if (identity.isEmpty()) store.remove("PortAdapter");
    else store.setValue("PortAdapter", identity);
}

}  // namespace vorkal
