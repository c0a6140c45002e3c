// How long the main window's event loop stalls while it receives jobs.
//   quillet-gui-latency PROFILE SIZE
// Loads PROFILE into the main window as the controller does, checks for
// jobs, then receives them; the service must list exactly one job, whose
// file must arrive with SIZE bytes. Meanwhile a 5 ms timer on the GUI thread
// records its ticks. Prints the timings and the tick gaps; the last line is
// "longest stall: N ms", the longest gap less 5 ms. Messages go to stderr.
// Exit status: 0 the job arrived complete, 1 it did not, 2 bad arguments or
// a profile that cannot be read.

#include "platform/Conversions.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "shell/GUIFunctions.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <vector>

namespace {

constexpr int tickMs = 5;

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

// The gap below which the fraction q of the sorted gaps lies.
qint64 percentile(const std::vector<qint64> &sorted, double q)
{
    const auto at = std::min(sorted.size() - 1, size_t(q * double(sorted.size())));
    return sorted[at];
}

} // namespace

int main(int argc, char *argv[])
{
    Conversions::cacheLocalTimeZone();
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    bool sizeOk = false;
    const qint64 expected = args.size() == 3 ? args.at(2).toLongLong(&sizeOk) : -1;
    if (!sizeOk || expected < 0) {
        std::fprintf(stderr, "usage: quillet-gui-latency PROFILE SIZE\n");
        return 2;
    }

    RecordingMessageSink messages;
    messages.onMessage = [](const Message &message) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(message.title), qPrintable(message.text));
    };
    GUIFunctions controller(messages);

    // The steps of GUIFunctions::LoadProfile, without the selection window.
    frmMain &main = controller.mainWindow();
    main.Load();
    DownloadTools &tools = main.gDownloadTools();
    if (!tools.gProfile().LoadProfileFromXMLFile(args.at(1)))
        return 2;
    main.SetupTitlebar();

    QString received;
    QObject::connect(&tools, &DownloadTools::jobEnded, &app,
                     [&](const QString &, bool ok, const QString &detail) {
                         if (ok)
                             received = detail;
                     });

    QElapsedTimer clock;
    std::vector<qint64> ticks; // ns since the check began
    ticks.reserve(1 << 16);
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(tickMs);
    QObject::connect(&ticker, &QTimer::timeout, &app,
                     [&] { ticks.push_back(clock.nsecsElapsed()); });

    qint64 checkEnded = 0;
    const auto report = [&] {
        const qint64 ended = clock.nsecsElapsed();
        ticker.stop();
        // The end counts as a tick: a stall just before it is not lost.
        ticks.push_back(ended);

        const QFileInfo file(received);
        if (received.isEmpty() || file.size() != expected) {
            std::fprintf(stderr, "the job did not arrive complete: %s, %lld of %lld bytes\n",
                         received.isEmpty() ? "no file" : qPrintable(received),
                         received.isEmpty() ? 0LL : qlonglong(file.size()), qlonglong(expected));
            for (auto it = tools.gTransferFailures.cbegin(); it != tools.gTransferFailures.cend();
                 ++it)
                std::fprintf(stderr, "job %s: %s\n", qPrintable(it.key()), qPrintable(it.value()));
            QApplication::exit(1);
            return;
        }

        std::vector<qint64> gaps;
        gaps.reserve(ticks.size());
        qint64 longest = 0;
        qint64 longestEnd = 0;
        for (size_t i = 1; i < ticks.size(); ++i) {
            const qint64 gap = ticks[i] - ticks[i - 1];
            gaps.push_back(gap);
            if (gap > longest) {
                longest = gap;
                longestEnd = ticks[i];
            }
        }
        std::sort(gaps.begin(), gaps.end());
        const double transferSeconds = ms(ended - checkEnded) / 1000;
        std::printf("job: %s, %.1f MiB\n", qPrintable(file.fileName()),
                    double(file.size()) / (1024 * 1024));
        std::printf("check for jobs %.3f s, transfer %.2f s (%.0f MiB/s)\n", ms(checkEnded) / 1000,
                    transferSeconds, double(file.size()) / (1024 * 1024) / transferSeconds);
        std::printf("ticks: %zu every %d ms; gaps p50 %.1f ms, p99 %.1f ms, p99.9 %.1f ms, "
                    "max %.1f ms (ending at %.2f s of %.2f s)\n",
                    ticks.size() - 2, tickMs, ms(percentile(gaps, 0.5)), ms(percentile(gaps, 0.99)),
                    ms(percentile(gaps, 0.999)), ms(longest), ms(longestEnd) / 1000,
                    ms(ended) / 1000);
        std::printf("longest stall: %lld ms\n", std::max(0LL, std::llround(ms(longest) - tickMs)));
        std::fflush(stdout);
        QApplication::exit(0);
    };

    // Measuring starts once the window has been shown and painted.
    QTimer::singleShot(250, &main, [&] {
        clock.start();
        ticks.push_back(0);
        ticker.start();
        WorkSession &session = *controller.session();
        QObject::connect(&session, &WorkSession::transferEnded, &app, report);
        QObject::connect(&session, &WorkSession::checkEnded, &app, [&] {
            checkEnded = clock.nsecsElapsed();
            if (tools.gColDownloads.Count() != 1) {
                std::fprintf(stderr, "the service listed %lld jobs instead of one\n",
                             qlonglong(tools.gColDownloads.Count()));
                QApplication::exit(1);
                return;
            }
            controller.BeginTransfer(main, false);
        });
        controller.CheckForJobs(main);
    });
    QTimer::singleShot(std::chrono::minutes(10), &app, [] {
        std::fprintf(stderr, "no end after 10 minutes\n");
        QApplication::exit(1);
    });
    return QApplication::exec();
}
