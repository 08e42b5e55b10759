#include "log_view_model.h"

#include "log_record.h"

namespace vorkal {

QByteArray LogViewModel::sourceKey(const ConfigImage& config, bool polish, const QString& decimalSeparator) {
    const LogSource source = SelectLogSource(config);
    QByteArray key;
    key.append(char(config.is128x64())).append(char(config.separateLog)).append(char(polish));
    key.append(decimalSeparator.toUtf8()).append('\0');
    // The log memory, or the settings image whose header also says how many records it holds.
    key.append(reinterpret_cast<const char*>(source.data),
               source.inImage ? qsizetype(config.image.size()) : qsizetype(config.logImage.size()));
    return key;
}

bool LogViewModel::refresh(const ConfigImage& config, bool polish, const QString& decimalSeparator) {
    QByteArray key = sourceKey(config, polish, decimalSeparator);
    if (key == source_) return false;
    source_ = std::move(key);
    decimalSeparator_ = decimalSeparator;
    rows_ = BuildLogTable(config, polish, decimalSeparator);
    ++revision_;
    return true;
}

const QList<FlightRows>& LogViewModel::flights() const {
    if (flightsRevision_ != revision_) {
        flights_ = ReadLogFlights(rows_);
        figures_.clear();
        for (const FlightRows& f : flights_) figures_.append(ComputeFlightFigures(f));
        flightsRevision_ = revision_;
    }
    return flights_;
}

const QList<FlightFigures>& LogViewModel::figures() const {
    flights();
    return figures_;
}

}  // namespace vorkal
