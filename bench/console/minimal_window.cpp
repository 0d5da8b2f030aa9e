// The reference for the console's start-up: the smallest Qt Widgets program
// with a window, taking the same --screenshot FILE --after MS as velcora.
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    QString file;
    int after = 2000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0)
            file = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--after") == 0)
            after = std::atoi(argv[++i]);
    }
    QApplication app(argc, argv);
    QWidget w;
    auto* row = new QHBoxLayout(&w);
    row->addWidget(new QLabel(QStringLiteral("Хост:")));
    row->addWidget(new QLineEdit);
    row->addWidget(new QPushButton(QStringLiteral("Подключение")));
    w.resize(1180, 720);
    w.show();
    int rc = 0;
    QTimer::singleShot(after, &app, [&] {
        if (!file.isEmpty() && !w.grab().save(file))
            rc = 1;
        app.quit();
    });
    const int loop = app.exec();
    return rc ? rc : loop;
}
