#pragma once
// Shared by the editor benchmarks: medians, timing a call with the paint it schedules,
// and a private settings store and port directory for the window.

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

namespace vorkal::bench {

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The call, then the paint it schedules, in microseconds.
template <class F>
double timed(F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    QApplication::processEvents();
    return double(t.nsecsElapsed()) / 1000.0;
}

// Points the window's preferences and port list at `home`.
inline void useHome(const QTemporaryDir& home) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
    qputenv("VORKAL_PORT_DIR", home.path().toUtf8());
}

}  // namespace vorkal::bench
