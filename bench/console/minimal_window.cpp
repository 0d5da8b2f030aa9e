// The reference for the console's start-up: the smallest Qt Widgets program
// with a window, taking the same --screenshot FILE --after MS as velcora.
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <cstring>

#include "platform/startup_trace.h"

int main(int argc, char** argv) {
    QString file;
    int after = 2000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0)
            file = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--after") == 0)
            after = std::atoi(argv[++i]);
    }
    velcora::platform::StartupMark("main");
    QApplication app(argc, argv);
    velcora::platform::StartupMark("qt");
    QWidget w;
    auto* row = new QHBoxLayout(&w);
    row->addWidget(new QLabel(QStringLiteral("Хост:")));
    row->addWidget(new QLineEdit);
    row->addWidget(new QPushButton(QStringLiteral("Подключение")));
    w.resize(1180, 720);
    w.show();
    int rc = 0;
    QTimer::singleShot(after, &app, [&] {
        const QPixmap picture = w.grab();
        velcora::platform::StartupMark("painted");
        if (!file.isEmpty() && !picture.save(file))
            rc = 1;
        app.quit();
    });
    const int loop = app.exec();
    return rc ? rc : loop;
}
