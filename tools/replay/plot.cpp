// SPDX-License-Identifier: GPL-3.0-or-later
// The picture of a run, drawn with QPainter into an image off screen: the
// level and the cry meter over time as lines (per pixel column from their
// lowest to their highest value, joined to the next), their limits, when
// monitoring was on, the cries a parent noted, each call with its time,
// what held calls back (the pause after each call, the call limit), and a
// time axis in local hours and minutes.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "replay.h"

namespace {

constexpr int left = 56;
constexpr int right = 24;
constexpr int top = 60;
constexpr int bottom = 44;
constexpr int areaWidth = plotWidth - left - right;
constexpr int areaHeight = plotHeight - top - bottom;

const QColor levelColour = QColor::fromRgb(levelRgb);
const QColor meterColour(200, 40, 40);
const QColor monitoringColour(226, 242, 226);
const QColor cryColour(255, 200, 120, 110);
const QColor cryStripColour(240, 140, 20);
const QColor callMarkerColour = QColor::fromRgb(callMarkerRgb);
const QColor pauseColour = QColor::fromRgb(pauseRgb);
const QColor callLimitColour = QColor::fromRgb(callLimitRgb);
const QColor sameLimitsColour(90, 60, 90);
constexpr int stripHeight = 12; // the strips along the top and the bottom

// Qt's notes on its surroundings (no runtime folder, no display) are no
// concern of a picture written to a file.
void OnlyCriticalMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void EnsureApplication()
{
    // Text needs fonts, fonts need an application; no display is needed.
    static int argc = 1;
    static char name[] = "cradlecom-replay";
    static char* argv[] = {name, nullptr};
    if (QGuiApplication::instance() == nullptr) {
        qInstallMessageHandler(OnlyCriticalMessages);
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static QGuiApplication application(argc, argv);
    }
}

QString Clock(double seconds, bool withSeconds)
{
    auto total = static_cast<long long>(std::floor(seconds));
    long long day = total % 86400;
    if (withSeconds)
        return QString::asprintf("%02lld:%02lld:%02lld", day / 3600, day / 60 % 60, day % 60);
    return QString::asprintf("%02lld:%02lld", day / 3600, day / 60 % 60);
}

// A step for the axis's marks that gives about eight to sixteen of them.
double AxisStep(double duration)
{
    const double steps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    for (double step : steps) {
        if (duration / step <= 16)
            return step;
    }
    return 3 * 3600;
}

struct Column {
    float levelLow = 2.0f;
    float levelHigh = -1.0f;
    float meterLow = 2.0f;
    float meterHigh = -1.0f;
    bool monitoring = false;
};

std::vector<Column> Columns(const RunResult& run)
{
    std::vector<Column> columns(areaWidth);
    const Track& track = run.track;
    for (std::size_t i = 0; i < track.spans.size(); ++i) {
        const TrackSpan& span = track.spans[i];
        if (!span.used)
            continue;
        double from = static_cast<double>(i) * track.ticksPerSpan * 0.1;
        double to = static_cast<double>(i + 1) * track.ticksPerSpan * 0.1;
        int x0 = PlotColumn(from, run.seconds) - left;
        int x1 = std::max(x0 + 1, PlotColumn(to, run.seconds) - left);
        for (int x = std::max(x0, 0); x < std::min(x1, areaWidth); ++x) {
            Column& column = columns[static_cast<std::size_t>(x)];
            column.levelLow = std::min(column.levelLow, span.levelLow);
            column.levelHigh = std::max(column.levelHigh, span.levelHigh);
            column.meterLow = std::min(column.meterLow, span.meterLow);
            column.meterHigh = std::max(column.meterHigh, span.meterHigh);
            column.monitoring = column.monitoring || span.monitoring;
        }
    }
    return columns;
}

// One value of every column as a line: each column from the lowest to the
// highest value, reaching to the previous column's so that no gap opens
// between them, `thickness` rows thick.
void DrawLine(QPainter& painter, const std::vector<Column>& columns, bool meter, QColor colour,
              int thickness)
{
    int lastTop = -1; // rows of the previous column drawn; -1: none
    int lastBottom = -1;
    for (int x = 0; x < areaWidth; ++x) {
        const Column& column = columns[static_cast<std::size_t>(x)];
        float high = meter ? column.meterHigh : column.levelHigh;
        float low = meter ? column.meterLow : column.levelLow;
        if (high < 0.0f) {
            lastTop = -1;
            continue;
        }
        int from = PlotRow(high);
        int to = PlotRow(low);
        if (lastTop >= 0) {
            from = std::min(from, lastBottom);
            to = std::max(to, lastTop);
        }
        painter.fillRect(left + x, from, 1, to - from + thickness, colour);
        lastTop = PlotRow(high);
        lastBottom = PlotRow(low);
    }
}

// A strip along the top of the plot from `from` to `to` seconds.
void DrawTopStrip(QPainter& painter, double from, double to, double duration, QColor colour)
{
    int x0 = std::clamp(PlotColumn(from, duration), left, left + areaWidth);
    int x1 = std::clamp(std::max(x0 + 1, PlotColumn(to, duration)), left, left + areaWidth);
    if (x1 > x0)
        painter.fillRect(x0, top, x1 - x0, stripHeight, colour);
}

// The entries of what the picture shows, ending at `rightEdge`.
void DrawLegend(QPainter& painter, int rightEdge, int y, const RunResult& run,
                const std::vector<Column>& columns, bool cries)
{
    bool monitoring = std::any_of(columns.begin(), columns.end(),
                                  [](const Column& column) { return column.monitoring; });
    struct Entry {
        QColor colour;
        const char* text;
        bool band;
        bool shown;
    } entries[] = {
        {levelColour, "level", false, run.ticks > 0},
        {meterColour, "cry meter", false, run.ticks > 0},
        {monitoringColour, "monitoring", true, monitoring},
        {cryStripColour, "cry (noted)", true, cries},
        {callMarkerColour, "call", false, !run.calls.empty()},
        {pauseColour, "pause after a call", true, !run.pauses.empty()},
        {callLimitColour, "call limit reached", false, run.callLimitAt >= 0.0},
    };
    QFontMetrics metrics(painter.font());
    int width = 0;
    for (const Entry& entry : entries)
        width += entry.shown ? 28 + metrics.horizontalAdvance(entry.text) : 0;
    int x = rightEdge - width;
    for (const Entry& entry : entries) {
        if (!entry.shown)
            continue;
        if (entry.band)
            painter.fillRect(x, y - 8, 16, 10, entry.colour);
        else
            painter.fillRect(x, y - 4, 16, 3, entry.colour);
        painter.setPen(Qt::black);
        painter.drawText(x + 20, y + 1, entry.text);
        x += 28 + metrics.horizontalAdvance(entry.text);
    }
}

} // namespace

int PlotRow(double value)
{
    value = std::clamp(value, 0.0, 1.0);
    return top + areaHeight - 1 - static_cast<int>(std::lround(value * (areaHeight - 1)));
}

int PlotColumn(double seconds, double duration)
{
    if (!(duration > 0.0))
        return left;
    return left + static_cast<int>(std::floor(seconds / duration * areaWidth));
}

bool WritePlot(const std::string& path, const std::string& title, const RunResult& run,
               double beginSeconds, const std::vector<Cry>& cries, std::string* error)
{
    EnsureApplication();
    QImage image(plotWidth, plotHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    double begin = beginSeconds;
    double duration = run.seconds;

    // Monitoring, then the noted cries, behind everything else.
    std::vector<Column> columns = Columns(run);
    for (int x = 0; x < areaWidth; ++x) {
        if (columns[static_cast<std::size_t>(x)].monitoring)
            painter.fillRect(left + x, top, 1, areaHeight, monitoringColour);
    }
    for (const Cry& cry : cries) {
        int x0 = PlotColumn(cry.start, duration);
        int x1 = std::max(x0 + 3, PlotColumn(cry.end, duration));
        x0 = std::clamp(x0, left, left + areaWidth);
        x1 = std::clamp(x1, left, left + areaWidth);
        if (x1 > x0)
            painter.fillRect(x0, top, x1 - x0, areaHeight, cryColour);
    }

    // Grid and axes.
    painter.setPen(QColor(220, 220, 220));
    for (double value : {0.25, 0.5, 0.75, 1.0})
        painter.drawLine(left, PlotRow(value), left + areaWidth - 1, PlotRow(value));
    painter.setPen(Qt::black);
    painter.drawRect(left - 1, top - 1, areaWidth + 1, areaHeight + 1);
    for (double value : {0.0, 0.25, 0.5, 0.75, 1.0})
        painter.drawText(QRect(0, PlotRow(value) - 8, left - 6, 16),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(value, 'f', 2));
    double step = AxisStep(duration);
    bool withSeconds = step < 60 || duration < 120;
    for (double at = std::ceil(begin / step) * step - begin; at <= duration; at += step) {
        int x = PlotColumn(at, duration);
        painter.drawLine(x, top + areaHeight, x, top + areaHeight + 4);
        painter.drawText(QRect(x - 40, top + areaHeight + 6, 80, 16), Qt::AlignHCenter,
                         Clock(begin + at, withSeconds));
    }
    painter.drawText(QRect(left, plotHeight - 18, areaWidth, 16), Qt::AlignHCenter,
                     "local time (recording from " + Clock(begin, false) + ")");

    DrawLine(painter, columns, false, levelColour, 1);
    DrawLine(painter, columns, true, meterColour, 2);

    // The limits; two on the same row are one line with both labels.
    QColor volLimitColour = levelColour.darker(150);
    QColor cryLimitColour = meterColour.darker(150);
    bool same = PlotRow(run.volLimit) == PlotRow(run.cryLimit);
    painter.setPen(QPen(same ? sameLimitsColour : volLimitColour, 1, Qt::DashLine));
    painter.drawLine(left, PlotRow(run.volLimit), left + areaWidth - 1, PlotRow(run.volLimit));
    if (!same) {
        painter.setPen(QPen(cryLimitColour, 1, Qt::DashLine));
        painter.drawLine(left, PlotRow(run.cryLimit), left + areaWidth - 1, PlotRow(run.cryLimit));
    }
    painter.setPen(volLimitColour);
    painter.drawText(QRect(left, PlotRow(run.volLimit) - 16, areaWidth - 6, 14),
                     Qt::AlignRight | Qt::AlignBottom,
                     QString::asprintf("loudness limit %.2f", run.volLimit));
    painter.setPen(cryLimitColour);
    painter.drawText(left + 6, PlotRow(run.cryLimit) - 3,
                     QString::asprintf("cry limit %.2f", run.cryLimit));

    // What held calls back: the pause after each call and, from when it
    // first held one back, the call limit, along the top.
    for (const RunSpan& pause : run.pauses)
        DrawTopStrip(painter, pause.start, pause.end + 0.1, duration, pauseColour);
    if (run.callLimitAt >= 0.0) {
        DrawTopStrip(painter, run.callLimitAt, duration, duration, callLimitColour);
        int x = std::min(PlotColumn(run.callLimitAt, duration), left + areaWidth - 1);
        painter.setPen(QPen(callLimitColour, 2, Qt::DashLine));
        painter.drawLine(x, top, x, top + areaHeight - 1);
        QString text = QString::asprintf("call limit reached (%d)", run.maxCalls);
        QFontMetrics metrics(font);
        int width = metrics.horizontalAdvance(text);
        // Right of the line, or left of it near the end.
        int textX = x + 6 + width <= left + areaWidth ? x + 6 : x - 6 - width;
        QRect box(textX - 3, top + stripHeight + 2, width + 6, 16);
        painter.fillRect(box, QColor(255, 255, 255, 200));
        painter.setPen(callLimitColour);
        painter.drawText(box, Qt::AlignCenter, text);
    }

    // Calls: a line through the plot and the time above it.
    for (std::size_t i = 0; i < run.calls.size(); ++i) {
        int x = std::min(PlotColumn(run.calls[i].seconds, duration), left + areaWidth - 1);
        painter.fillRect(x, top, 2, areaHeight, callMarkerColour);
        QPainterPath marker;
        marker.moveTo(x - 5, top - 9);
        marker.lineTo(x + 6, top - 9);
        marker.lineTo(x + 1, top - 1);
        marker.closeSubpath();
        painter.fillPath(marker, callMarkerColour);
        painter.setPen(callMarkerColour);
        // Alternate heights keep the times of close calls apart.
        int y = i % 2 == 0 ? top - 12 : top - 24;
        painter.drawText(QRect(x - 40, y - 12, 80, 14), Qt::AlignHCenter | Qt::AlignBottom,
                         Clock(begin + run.calls[i].seconds, true));
    }

    // The noted cries again as a strip along the bottom, where no call
    // marker hides them.
    for (const Cry& cry : cries) {
        int x0 = PlotColumn(cry.start, duration);
        int x1 = std::max(x0 + 4, PlotColumn(cry.end, duration));
        x0 = std::clamp(x0 - 3, left, left + areaWidth);
        x1 = std::clamp(x1, left, left + areaWidth);
        if (x1 > x0)
            painter.fillRect(x0, top + areaHeight - stripHeight, x1 - x0, stripHeight,
                             cryStripColour);
    }

    painter.setPen(Qt::black);
    QFont bold = font;
    bold.setBold(true);
    bold.setPixelSize(13);
    painter.setFont(bold);
    painter.drawText(QRect(left, 2, areaWidth, 16), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(title));
    painter.setFont(font);
    DrawLegend(painter, left + areaWidth, 12, run, columns, !cries.empty());
    painter.end();
    if (!image.save(QString::fromStdString(path), "PNG")) {
        *error = path + ": cannot be written";
        return false;
    }
    return true;
}
