// Child of bench_startup: builds the program's main window as the program
// does at start ("window"), a bare Qt Widgets window of the same size
// ("bare"), the bare window after reading the font database ("fontdb":
// fontconfig's set-up, which a window without text never pays), or the bare
// window with one line of Chinese text ("label": the font database and a CJK
// font, what any window showing Chinese pays).
// Shows it, prints "shown" once the window and every control in it have been
// painted, and exits.
#include "app/Form1.h"
#include "app/Twips.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The first paint of the window comes from the expose that follows show();
// the controls paint within the same pass, so a zero timer started from the
// window's own paint event fires once all of them have been drawn.
class FirstPaintProbe : public QObject {
public:
    explicit FirstPaintProbe(QWidget *window)
        : m_window(window)
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, [] {
                std::puts("shown");
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    QWidget *m_window;
    bool m_seen = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const char *mode = argc > 1 ? argv[1] : "window";
    std::unique_ptr<QWidget> window;
    if (std::strcmp(mode, "window") != 0) {
        window = std::make_unique<QWidget>();
        window->setWindowTitle(QStringLiteral(" 砚舟站长工具"));
        window->setFixedSize(yz::twips::toPixels(Form1::kClientWidth), yz::twips::toPixels(Form1::kClientHeight));
        if (std::strcmp(mode, "fontdb") == 0)
            (void)QFontDatabase::families();
        if (std::strcmp(mode, "label") == 0)
            new QLabel(QStringLiteral("百度收录趋势"), window.get());
    } else {
        // Every service on a closed loopback port: start-up's requests fail at once.
        yz::ServiceHosts hosts;
        for (int i = 0; i < yz::kServiceCount; ++i)
            hosts.setBase(yz::Service(i), QStringLiteral("http://127.0.0.1:9"));
        auto form = std::make_unique<Form1>(hosts);
        form->startUp();
        window = std::move(form);
    }
    FirstPaintProbe probe(window.get());
    window->show();
    return app.exec();
}
