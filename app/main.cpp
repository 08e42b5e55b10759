#include "application.h"
#include "form1.h"

int main(int argc, char** argv) {
    vorkal::VorkalApplication app(argc, argv);
    TForm1 form;
    form.show();
    return app.exec();
}
