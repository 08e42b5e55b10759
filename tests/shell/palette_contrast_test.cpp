// Every caption of the main window stays readable whatever palette the desktop hands
// the program: the window is grabbed under a light, a dark and a high-contrast palette
// and each text is measured against the pixels behind it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <cmath>
#include <iostream>
#include <map>

#include "dialogs.h"
#include "display_session.h"
#include "form1.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

double luminance(QRgb c) {
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

int distance2(QRgb a, QRgb b) {
    const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
    return dr * dr + dg * dg + db * db;
}

struct Reading {
    QRgb background = 0, text = 0;
    double ratio = 21.0;
};

// Background: the commonest colour in the rectangle; text: the pixel farthest from it.
Reading readCaption(const QImage& image, const QRect& rect) {
    std::map<QRgb, int> counts;
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) ++counts[image.pixel(x, y) | 0xFF000000u];
    Reading reading;
    int most = -1;
    for (const auto& [colour, n] : counts)
        if (n > most) most = n, reading.background = colour;
    int far = -1;
    for (const auto& [colour, n] : counts)
        if (distance2(colour, reading.background) > far)
            far = distance2(colour, reading.background), reading.text = colour;
    reading.ratio = contrast(reading.text, reading.background);
    return reading;
}

struct Caption {
    QString name;
    QRect rect;  // in window coordinates
    QWidget* widget = nullptr;
};

// The text area of every visible, enabled control that shows text. Disabled controls
// are left out: their greyed text says "not available" on purpose.
std::vector<Caption> captionsOf(QWidget* window) {
    std::vector<Caption> captions;
    const auto add = [&](QWidget* w, const QString& text, const QRect& local) {
        if (text.trimmed().isEmpty() || local.isEmpty()) return;
        captions.push_back({w->objectName().isEmpty() ? text : w->objectName(),
                            QRect(w->mapTo(window, local.topLeft()), local.size()), w});
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || !w->isEnabled() || w->isWindow()) continue;
        QStyle* style = w->style();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            add(w, label->text(), label->contentsRect());
        } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
            QStyleOptionButton opt;
            opt.initFrom(check);
            opt.text = check->text();
            add(w, check->text(), style->subElementRect(QStyle::SE_CheckBoxContents, &opt, check));
        } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            QStyleOptionButton opt;
            opt.initFrom(radio);
            opt.text = radio->text();
            add(w, radio->text(), style->subElementRect(QStyle::SE_RadioButtonContents, &opt, radio));
        } else if (auto* push = qobject_cast<QPushButton*>(w)) {
            QStyleOptionButton opt;
            opt.initFrom(push);
            opt.text = push->text();
            add(w, push->text(),
                style->subElementRect(QStyle::SE_PushButtonContents, &opt, push).adjusted(2, 2, -2, -2));
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            QStyleOptionGroupBox opt;
            opt.initFrom(group);
            opt.text = group->title();
            opt.lineWidth = 1;
            opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            opt.textAlignment = group->alignment();
            add(w, group->title(), style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, group));
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            add(w, edit->text(), edit->rect().adjusted(3, 3, -3, -3));
        }
    }
    return captions;
}

QPalette darkPalette() {
    QPalette p;
    const QColor window(0x35, 0x35, 0x35), base(0x2A, 0x2A, 0x2A), text(0xEE, 0xEE, 0xEE);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, base);
        p.setColor(group, QPalette::AlternateBase, window);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Button, window);
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::Light, QColor(0x50, 0x50, 0x50));
        p.setColor(group, QPalette::Mid, QColor(0x25, 0x25, 0x25));
        p.setColor(group, QPalette::Dark, QColor(0x20, 0x20, 0x20));
        p.setColor(group, QPalette::Shadow, Qt::black);
    }
    p.setColor(QPalette::Disabled, QPalette::Window, window);
    p.setColor(QPalette::Disabled, QPalette::Base, base);
    p.setColor(QPalette::Disabled, QPalette::Button, window);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return p;
}

// White on black, as high-contrast desktop themes give it.
QPalette highContrastPalette() {
    QPalette p(Qt::white, Qt::black);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Base, Qt::black);
        p.setColor(group, QPalette::Text, Qt::white);
        p.setColor(group, QPalette::Button, Qt::black);
        p.setColor(group, QPalette::ButtonText, Qt::white);
        p.setColor(group, QPalette::WindowText, Qt::white);
        p.setColor(group, QPalette::Highlight, QColor(0x1A, 0xEB, 0xFF));
        p.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x3F, 0xF2, 0x3F));
    return p;
}

class PaletteContrastTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        UseTestFolders(dir.path(), dir.filePath("ports"));
        saved = QApplication::palette();
        const QString name = GetParam();
        QApplication::setPalette(name == QLatin1String("dark")            ? darkPalette()
                                 : name == QLatin1String("high-contrast") ? highContrastPalette()
                                                                          : QApplication::style()->standardPalette());
    }
    void TearDown() override { QApplication::setPalette(saved); }

    // Grabs the window, checks every caption and returns the lowest ratio found.
    double checkCaptions(TForm1& form, const QString& view) {
        QApplication::processEvents();
        const QImage image = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QByteArray shots = qgetenv("VORKAL_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            image.save(QDir(QString::fromLocal8Bit(shots)).filePath(QString("%1-%2.png").arg(GetParam(), view)));
        const auto captions = captionsOf(&form);
        EXPECT_GT(captions.size(), 8u) << view.toStdString();
        double lowest = 21.0;
        for (const Caption& c : captions) {
            const Reading r = readCaption(image, c.rect);
            lowest = std::min(lowest, r.ratio);
            // The status and version texts keep their own colours (checked exactly in
            // StatusTextsKeepTheirOwnColours); 3:1 is the floor for those, the status being
            // large text.
            const bool ownColour = c.widget == form.StaticText5 || c.widget == form.StaticText6;
            EXPECT_GE(r.ratio, ownColour ? 3.0 : 4.5) << GetParam() << " " << view.toStdString() << ": \"" << c.name.toStdString()
                                    << "\" text " << QColor(r.text).name().toStdString() << " on "
                                    << QColor(r.background).name().toStdString();
        }
        std::cout << "lowest caption contrast, " << GetParam() << " palette, " << view.toStdString()
                  << " view: " << lowest << ":1\n";
        return lowest;
    }

    QTemporaryDir dir;
    ScriptedDialogs scripted;
    DialogsGuard guard{&scripted};
    QPalette saved;
};

TEST_P(PaletteContrastTest, EveryCaptionIsReadableInEveryView) {
    TForm1 form;
    form.Timer2->stop();  // the status poll would show the closed port again
    form.show();
    checkCaptions(form, "start");
    // A display that answers: status and firmware version in their own colours.
    form.session().firmwareVersion = "v1.23";
    form.ShowConnectionState();
    checkCaptions(form, "connected");
    form.config.LoadFactoryImage();
    form.ShowLoadedConfiguration();
    checkCaptions(form, "screen");
    form.RadioGroup6->setItemIndex(1);  // Polish captions are other texts in other places
    checkCaptions(form, "screen-pl");
    form.LogsView();
    checkCaptions(form, "log");
}

// The desktop may change its palette while the program runs.
TEST_P(PaletteContrastTest, PaletteChangeWhileOpenKeepsCaptionsReadable) {
    const QPalette chosen = QApplication::palette();
    QApplication::setPalette(saved);
    TForm1 form;
    form.show();
    form.config.LoadFactoryImage();
    form.ShowLoadedConfiguration();
    QApplication::setPalette(chosen);
    checkCaptions(form, "changed");
}

// The status text in pure red when no display answers and in green (0, 128, 0) when one
// does, the firmware version in teal (0, 128, 128), read from the grabbed window
// whatever the desktop's palette.
TEST_P(PaletteContrastTest, StatusTextsKeepTheirOwnColours) {
    TForm1 form;
    form.Timer2->stop();  // the status poll would show the closed port again
    form.show();
    // The colour drawn in the text's full-strength pixels, and how many pixels have it.
    const auto drawn = [&form](QWidget* text) {
        QApplication::processEvents();
        const QImage image = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect rect = QRect(text->mapTo(&form, QPoint(0, 0)), text->size()).intersected(image.rect());
        const Reading r = readCaption(image, rect);
        int pixels = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                if ((image.pixel(x, y) | 0xFF000000u) == r.text) ++pixels;
        return std::pair{QColor(r.text), pixels};
    };
    struct Case {
        const char* state;
        QWidget* text;
        QColor colour;
        double ratio;  // on the light face
    };
    for (const bool connected : {false, true}) {
        form.session().firmwareVersion = connected ? "v1.23" : "";
        form.ShowConnectionState();
        std::vector<Case> cases{{connected ? "Connected" : "Disconnected", form.StaticText5,
                                 connected ? QColor(0, 128, 0) : QColor(255, 0, 0), 3.0}};
        if (connected) cases.push_back({"firmware version", form.StaticText6, QColor(0, 128, 128), 3.0});
        for (const Case& c : cases) {
            const auto [colour, pixels] = drawn(c.text);
            EXPECT_EQ(colour.name(), c.colour.name()) << GetParam() << " " << c.state;
            // Whole strokes in the colour, not a stray pixel of it.
            EXPECT_GE(pixels, 20) << GetParam() << " " << c.state;
            EXPECT_GE(contrast(c.colour.rgb(), form.palette().color(QPalette::Window).rgb()), c.ratio) << c.state;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Palettes, PaletteContrastTest, ::testing::Values("light", "dark", "high-contrast"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& ch : n)
                                 if (ch == '-') ch = '_';
                             return n;
                         });

}  // namespace
