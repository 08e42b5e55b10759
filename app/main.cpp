#include "application.h"
#include "bundled_fonts.h"
#include "command_line.h"
#include "form1.h"

int main(int argc, char** argv) {
    const vorkal::StartOptions options = vorkal::ParseStartOptions(argc, argv);
    if (options.exitCode) return *options.exitCode;
    vorkal::VorkalApplication app(argc, argv);
    vorkal::LoadBundledFonts();
    TForm1 form;
    vorkal::EndWhenMainWindowCloses(app, form);
    form.show();
    if (!options.screenshotFile.isEmpty()) vorkal::SaveScreenshotWhenShown(form, options.screenshotFile);
    return app.exec();
}
