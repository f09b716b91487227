#include "historywindow.h"

#include "engine/archive/historyarchive.h"
#include "engine/history/historycsv.h"
#include "engine/history/historystore.h"
#include "engine/limits/limitrules.h"
#include "engine/limits/limitwatch.h"
#include "engine/monitor/monitor.h"
#include "engine/reception/lastheardtext.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/valuenumber.h"
#include "gui/common/notice.h"
#include "gui/common/readingslook.h"
#include "gui/tablefile/csvsavedialog.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QMenuBar>
#include <QSaveFile>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

HistoryWindow::HistoryWindow(Monitor &monitor, int row, std::vector<int> pairs, QWidget *parent)
    : QMainWindow(parent, Qt::Window)
    , m_monitor(monitor)
    , m_row(row)
    , m_pairs(std::move(pairs))
    , m_host(monitor.table().host(row))
    , m_units(m_pairs.size())
    , m_plot(new HistoryPlot)
    , m_words(new QTreeWidget)
    , m_ranges(new QButtonGroup(this))
    , m_earlier(m_pairs.size())
    , m_rollups(m_pairs.size())
{
    setObjectName(u"HistoryWindow"_qs);
    setAttribute(Qt::WA_DeleteOnClose);
    QStringList names;
    for (const int pair : m_pairs)
        names.append(monitor.table().nameText(monitor.table().nameId(row, pair)));
    setWindowTitle(tr("%1 on %2 \u00b7 Senvo-Net History").arg(names.join(u", "_qs), m_host));

    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(u"HistoryFileMenu"_qs);
    m_save = file->addAction(tr("&Save History As\u2026"), this, &HistoryWindow::saveAs);
    m_save->setObjectName(u"SaveHistoryMenu"_qs);
    m_save->setShortcut(QKeySequence::Save);
    file->addSeparator();
    QAction *close = file->addAction(tr("&Close"), this, &QWidget::close);
    close->setShortcut(QKeySequence::Close);

    auto *client = new QWidget;
    auto *layout = new QVBoxLayout(client);
    auto *ranges = new QHBoxLayout;
    struct Choice
    {
        QString text;
        QString name;
        HistoryRange::Choice range;
    };
    const Choice choices[] = {
        {tr("Last 10 minutes"), u"lastTenMinutes"_qs, HistoryRange::TenMinutes},
        {tr("Last hour"), u"lastHour"_qs, HistoryRange::Hour},
        {tr("Last 24 hours"), u"lastDay"_qs, HistoryRange::Day},
        {tr("Last 7 days"), u"lastWeek"_qs, HistoryRange::Week},
        {tr("Last 30 days"), u"lastMonth"_qs, HistoryRange::Month},
        {tr("All kept"), u"allKept"_qs, HistoryRange::All}};
    for (const auto &[text, name, range] : choices) {
        auto *button = new QToolButton;
        button->setObjectName(name);
        button->setText(text);
        button->setCheckable(true);
        button->setChecked(range == m_range);
        button->setAutoRaise(true);
        m_ranges->addButton(button, int(range));
        ranges->addWidget(button);
    }
    ranges->addStretch();
    connect(m_ranges, &QButtonGroup::idClicked, this,
            [this](int id) { setRange(HistoryRange::Choice(id)); });
    layout->addLayout(ranges);
    m_plot->setObjectName(u"HistoryPlot"_qs);
    layout->addWidget(m_plot, 1);
    m_words->setObjectName(u"WordChanges"_qs);
    m_words->setRootIsDecorated(false);
    m_words->setHeaderLabels({tr("Time"), tr("Reading"), tr("Value")});
    m_words->setColumnHidden(1, m_pairs.size() < 2);
    m_words->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_words, 1);
    setCentralWidget(client);
    statusBar();

    const ReadingsTable &table = m_monitor.table();
    m_redraw.setSingleShot(true);
    m_redraw.setInterval(redrawMs);
    connect(&m_redraw, &QTimer::timeout, this, &HistoryWindow::refresh);
    connect(&table, &QAbstractItemModel::dataChanged, this, &HistoryWindow::refreshSoon);
    // Time moves on: the axis follows, and a silent reading's gap grows.
    connect(&table, &ReadingsTable::timingChanged, this, &HistoryWindow::refresh);
    connect(&m_monitor.history(), &HistoryStore::rowsRenumbered, this, &HistoryWindow::followRows);
    connect(&m_monitor.limits(), &LimitWatch::applied, this, &HistoryWindow::updateLimits);
    updateLimits();
    resize(m_plot->sizeHint().width() + 40,
           std::min(900, m_plot->sizeHint().height() + menuBar()->sizeHint().height() + 80));
}

void HistoryWindow::updateLimits()
{
    // A copy: finding a host's limits notes what it found.
    LimitRules rules = m_monitor.limits().rules();
    const ReadingsTable &table = m_monitor.table();
    m_limits.assign(m_pairs.size(), std::nullopt);
    for (size_t i = 0; i < m_pairs.size(); ++i) {
        const int id = rules.resolve(m_host, table.nameText(table.nameId(m_row, m_pairs[i])));
        if (id != LimitRules::none)
            m_limits[i] = rules.effective(id);
    }
    refresh();
}

// Warning amber, critical dark red, as the cells beyond them; bounds for another unit than
// the reading's are left out, as they do not apply.
QList<HistoryPlot::LimitLine> HistoryWindow::limitLines(size_t index) const
{
    QList<HistoryPlot::LimitLine> lines;
    if (index >= m_limits.size() || !m_limits[index])
        return lines;
    const LimitRule &limits = *m_limits[index];
    const auto add = [&](const std::optional<LimitRule::Bound> &bound, LimitState::Level level) {
        if (bound && bound->ok && bound->appliesTo(m_units[index]))
            lines.append({bound->value, ReadingsLook::stateColour(level)});
    };
    add(limits.warningAbove, LimitState::Level::Warning);
    add(limits.warningBelow, LimitState::Level::Warning);
    add(limits.criticalAbove, LimitState::Level::Critical);
    add(limits.criticalBelow, LimitState::Level::Critical);
    return lines;
}

void HistoryWindow::refreshSoon(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    if (m_row >= topLeft.row() && m_row <= bottomRight.row() && !m_redraw.isActive())
        m_redraw.start();
}

qint64 HistoryWindow::nowMs() const
{
    const SilenceWatch &silence = m_monitor.table().silence();
    return silence.wallTime(0).toMSecsSinceEpoch() + silence.tenthsSince(0) * 100;
}

void HistoryWindow::setRange(HistoryRange::Choice range)
{
    if (QAbstractButton *button = m_ranges->button(int(range)))
        button->setChecked(true);
    if (range == m_range)
        return;
    m_range = range;
    refresh();
}

void HistoryWindow::showMoment(qint64 ms)
{
    setRange(HistoryRange::covering(nowMs() - ms));
    m_plot->setMark(ms);
}

void HistoryWindow::readEarlier()
{
    if (m_earlierRead)
        return;
    m_earlierRead = true;
    const HistoryArchive *const archive = m_monitor.archive();
    const qint64 startedMs = archive->startedAt().toMSecsSinceEpoch();
    const ReadingsTable &table = m_monitor.table();
    for (size_t i = 0; i < m_pairs.size(); ++i) {
        const QString name = table.nameText(table.nameId(m_row, m_pairs[i]));
        m_earlier[i] = archive->points(
            m_host, name, startedMs - HistoryRange::lengthMs(HistoryRange::Hour), startedMs);
    }
}

void HistoryWindow::readRollups(qint64 fromMs, qint64 toMs)
{
    if (m_rollupsRange == m_range && m_rollupsAge.isValid()
        && m_rollupsAge.elapsed() < rollupsReadMs)
        return;
    m_rollupsRange = m_range;
    m_rollupsAge.start();
    const HistoryArchive *const archive = m_monitor.archive();
    const ReadingsTable &table = m_monitor.table();
    for (size_t i = 0; i < m_pairs.size(); ++i) {
        const QString name = table.nameText(table.nameId(m_row, m_pairs[i]));
        m_rollups[i] =
            archive->rollups(m_host, name, fromMs, toMs, HistoryRange::resolution(m_range));
    }
}

void HistoryWindow::refresh()
{
    if (m_row < 0)
        return;
    const ReadingsTable &table = m_monitor.table();
    const HistoryStore &store = m_monitor.history();
    const SilenceWatch &silence = table.silence();
    // Without the archive, what memory holds is all there is.
    const HistoryArchive *const archive = m_monitor.archive();
    const qint64 originMs = silence.wallTime(0).toMSecsSinceEpoch();
    const qint64 toMs = nowMs();
    qint64 fromMs = toMs - HistoryRange::lengthMs(m_range);
    const bool rolledUp = archive && HistoryRange::isRolledUp(m_range);
    if (m_range == HistoryRange::All) {
        // Memory's oldest point when the archive keeps nothing.
        const qint64 oldest = archive ? archive->oldestMs() : 0;
        fromMs = oldest > 0 ? oldest : originMs;
    }
    if (rolledUp)
        readRollups(fromMs, toMs + 1);
    const bool beforeStart =
        archive && !rolledUp && fromMs < archive->startedAt().toMSecsSinceEpoch();
    if (beforeStart)
        readEarlier();

    std::vector<HistoryPlot::Reading> readings;
    struct Word
    {
        HistoryStore::Tenths time;
        QString reading;
        QString text;
    };
    std::vector<Word> words;
    const quint32 version = store.version(m_row);
    const bool changed = version != m_version;
    m_version = version;
    for (size_t i = 0; i < m_pairs.size(); ++i) {
        const int pair = m_pairs[i];
        const QString name = table.nameText(table.nameId(m_row, pair));
        HistoryPlot::Reading reading{name, {}, {}, {}, {}};
        if (rolledUp) {
            std::copy_if(m_rollups[i].begin(), m_rollups[i].end(),
                         std::back_inserter(reading.rollups),
                         [fromMs](const Rollup &rollup) { return rollup.timeMs >= fromMs; });
        }
        if (reading.rollups.empty()) {
            if (beforeStart) {
                for (const HistoryArchive::Point &point : m_earlier[i]) {
                    if (point.timeMs >= fromMs)
                        reading.points.push_back(point);
                }
            }
            // What memory holds begins after what the archive kept before start-up, and does
            // not join it.
            const size_t memoryFirst = reading.points.size();
            const qint64 memoryFrom = memoryFirst == 0 ? fromMs : reading.points.back().timeMs + 1;
            store.forEachPoint(m_row, pair, [&](const HistoryStore::Point &point) {
                if (const qint64 ms = originMs + qint64(point.time()) * 100; ms >= memoryFrom)
                    reading.points.push_back({ms, point.value(), point.gapBefore()});
            });
            if (memoryFirst > 0 && reading.points.size() > memoryFirst)
                reading.points[memoryFirst].gapBefore = true;
        }
        const std::vector<HistoryStore::WordChange> changes = store.wordChanges(m_row, pair);
        if (reading.points.empty() && reading.rollups.empty() && !changes.empty()) {
            for (const HistoryStore::WordChange &change : changes)
                words.push_back({change.time, name, change.text});
            continue;
        }
        const QString value = table.value(m_row, pair);
        if (const ValueNumber number = ValueNumber::read(value); number.ok)
            m_units[i] = number.unit.toString();
        reading.unit = m_units[i];
        reading.limits = limitLines(i);
        readings.push_back(std::move(reading));
    }
    if (rolledUp && !archive->problem().isEmpty())
        statusBar()->showMessage(archive->problem());
    m_plot->setVisible(!readings.empty());
    m_save->setEnabled(!readings.empty());
    m_plot->setReadings(std::move(readings), fromMs, toMs,
                        HistoryRange::stepMs(HistoryRange::resolution(m_range)));

    m_words->setVisible(!words.empty());
    if (!changed || words.empty())
        return;
    std::stable_sort(words.begin(), words.end(),
                     [](const Word &a, const Word &b) { return a.time > b.time; });
    m_words->clear();
    QList<QTreeWidgetItem *> items;
    for (const Word &word : words) {
        const QString time =
            QLocale().toString(silence.wallTime(word.time).toLocalTime(), lastHeardFormat);
        items.append(new QTreeWidgetItem({time, word.reading, word.text}));
    }
    m_words->addTopLevelItems(items);
}

void HistoryWindow::followRows(const std::vector<int> &newRows)
{
    if (m_row < 0)
        return;
    m_row = size_t(m_row) < newRows.size() ? newRows[size_t(m_row)] : -1;
    if (m_row >= 0)
        return;
    m_plot->setReadings({}, 0, 0);
    m_words->clear();
    m_save->setEnabled(false);
    statusBar()->showMessage(tr("%1 was removed; its history is gone.").arg(m_host));
}

void HistoryWindow::saveAs()
{
    QFileDialog *const dialog = CsvSaveDialog::create(
        this, tr("Save History As"), u"saveHistoryDialog"_qs, m_folder,
        u"senvo-net-history-%1-%2.csv"_qs.arg(m_host, CsvSaveDialog::timeStamp()));
    connect(dialog, &QFileDialog::fileSelected, this, &HistoryWindow::saveHistory);
    // Readings keep arriving while the dialog is open.
    dialog->open();
}

bool HistoryWindow::saveHistory(const QString &path)
{
    m_folder = QFileInfo(path).absolutePath();
    const std::vector<HistoryPlot::Reading> &readings = m_plot->readings();
    const bool rolledUp = std::any_of(readings.begin(), readings.end(),
                                      [](const auto &reading) { return !reading.rollups.empty(); });
    qsizetype points = 0;
    std::vector<HistoryCsv::Column> columns;
    std::vector<HistoryCsv::RollupColumn> rollupColumns;
    for (const HistoryPlot::Reading &reading : readings) {
        const QString title =
            reading.unit.isEmpty() ? reading.name : tr("%1 (%2)").arg(reading.name, reading.unit);
        if (rolledUp) {
            // A reading the archive has no roll-ups of is saved as drawn: point by point.
            HistoryCsv::RollupColumn &column = rollupColumns.emplace_back();
            column.title = title;
            for (const Rollup &rollup : reading.rollups) {
                if (rollup.timeMs >= m_plot->fromMs())
                    column.rollups.push_back(rollup);
            }
            for (const HistoryArchive::Point &point : reading.points) {
                if (point.timeMs >= m_plot->fromMs())
                    column.rollups.push_back(
                        {point.timeMs, point.value, point.value, point.value, point.value, 1});
            }
            points += qsizetype(column.rollups.size());
            continue;
        }
        HistoryCsv::Column &column = columns.emplace_back();
        column.title = title;
        for (const HistoryArchive::Point &point : reading.points) {
            if (point.timeMs >= m_plot->fromMs())
                column.points.push_back(point);
        }
        points += qsizetype(column.points.size());
    }
    const QByteArray csv =
        rolledUp ? HistoryCsv::writeRollups(rollupColumns) : HistoryCsv::write(columns);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        showNotice(this, QMessageBox::Warning,
                   tr("The history could not be saved to %1:\n%2\n\nNo file was written; an "
                      "earlier file of that name is as it was.")
                       .arg(QDir::toNativeSeparators(path), file.errorString()),
                   u"historyNotSaved"_qs);
        return false;
    }
    statusBar()->showMessage(
        tr("Saved %1 values to %2").arg(QLocale().toString(points), QDir::toNativeSeparators(path)),
        toldMs);
    return true;
}
