// Renders the sample form to a PNG, for looking at the family's output:
//   QT_QPA_PLATFORM=offscreen ui_screenshot sample.png
#include <QApplication>
#include <cstdio>

#include "gui/sample_form.h"
#include "ui/vel_form.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_screenshot FILE.png\n");
        return 2;
    }
    QApplication app(argc, argv);
    auto s = velcora::ui::test::BuildSampleForm();
    s.form->Widget()->show();
    app.processEvents();
    const bool ok = s.form->Widget()->grab().save(QString::fromLocal8Bit(argv[1]));
    s.form->Destroy();
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
