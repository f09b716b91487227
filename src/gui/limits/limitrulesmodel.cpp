#include "limitrulesmodel.h"

#include <QColor>
#include <QJsonDocument>
#include <QLocale>

namespace {

constexpr std::array<QLatin1StringView, LimitRulesModel::ColumnCount> keys{
    QLatin1StringView("reading"),      QLatin1StringView("hosts"),
    QLatin1StringView("warningAbove"), QLatin1StringView("criticalAbove"),
    QLatin1StringView("warningBelow"), QLatin1StringView("criticalBelow"),
    QLatin1StringView("warningText"),  QLatin1StringView("criticalText"),
    QLatin1StringView("after"),        QLatin1StringView("margin")};

constexpr std::array<const char *, LimitRulesModel::ColumnCount> titles{
    QT_TRANSLATE_NOOP("LimitRulesModel", "Reading"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "Hosts"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "Warning above"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "Critical above"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "Warning below"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "Critical below"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "Warning words"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "Critical words"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "After"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "Margin")};

constexpr std::array<const char *, LimitRulesModel::ColumnCount> hints{
    QT_TRANSLATE_NOOP("LimitRulesModel",
                      "The reading's name as the table shows it, matched exactly"),
    QT_TRANSLATE_NOOP("LimitRulesModel",
                      "Host patterns with * and ?, ignoring case, separated by commas; "
                      "empty: every host"),
    QT_TRANSLATE_NOOP("LimitRulesModel",
                      "A value above this is a warning: a number, with the unit it applies "
                      "to where it has one (80, 20%, 3.2G)"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "A value above this is critical"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "A value below this is a warning"),
    QT_TRANSLATE_NOOP("LimitRulesModel", "A value below this is critical"),
    QT_TRANSLATE_NOOP("LimitRulesModel",
                      "Values that are a warning, ignoring case, separated by commas"),
    QT_TRANSLATE_NOOP("LimitRulesModel",
                      "Values that are critical, ignoring case, separated by commas"),
    QT_TRANSLATE_NOOP("LimitRulesModel",
                      "How many readings in a row must be beyond a bound before the state "
                      "shows (1 when empty)"),
    QT_TRANSLATE_NOOP("LimitRulesModel",
                      "How far back inside a bound a value must come before its state "
                      "clears (5 % of the bound when empty)")};

bool isBound(int column)
{
    return column >= LimitRulesModel::WarningAbove && column <= LimitRulesModel::CriticalBelow;
}

bool isList(int column)
{
    return column == LimitRulesModel::Hosts || column == LimitRulesModel::WarningText
           || column == LimitRulesModel::CriticalText;
}

// A value as the file writes it, for a cell: a list as its items separated by commas.
QString textOf(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::Array: {
        QStringList items;
        for (const QJsonValue item : value.toArray())
            items.append(textOf(item));
        return items.join(u", "_qs);
    }
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Bool:
        return value.toBool() ? u"true"_qs : u"false"_qs;
    default:
        return u"null"_qs;
    }
}

QStringList listOf(const QString &text)
{
    QStringList items;
    for (const QStringView item : QStringView(text).split(u',')) {
        if (!item.trimmed().isEmpty())
            items.append(item.trimmed().toString());
    }
    return items;
}

std::optional<int> afterOf(const QString &text)
{
    bool ok = false;
    const int after = text.trimmed().toInt(&ok);
    if (!ok || after < 1 || after > LimitRule::maxAfter)
        return std::nullopt;
    return after;
}

std::optional<double> marginOf(const QString &text)
{
    const LimitRule::Bound margin = LimitRule::Bound::fromText(text);
    if (!margin.ok || !margin.unit.isEmpty() || margin.value < 0)
        return std::nullopt;
    return margin.value;
}

} // namespace

LimitRulesModel::LimitRulesModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void LimitRulesModel::setRules(const QJsonArray &rules)
{
    beginResetModel();
    m_rows.clear();
    for (const QJsonValue entry : rules) {
        Row row;
        row.otherKeys = entry.toObject();
        for (int column = 0; column < ColumnCount; ++column) {
            if (row.otherKeys.contains(keys[size_t(column)]))
                row.texts[size_t(column)] = textOf(row.otherKeys.take(keys[size_t(column)]));
        }
        m_rows.append(std::move(row));
    }
    endResetModel();
}

QList<LimitRule> LimitRulesModel::rules() const
{
    QList<LimitRule> rules;
    for (const Row &row : m_rows) {
        const auto text = [&row](int column) { return row.texts[size_t(column)].trimmed(); };
        LimitRule rule;
        rule.reading = text(Reading);
        rule.hosts = listOf(text(Hosts));
        for (const auto &[column, bound] : {std::pair{WarningAbove, &rule.warningAbove},
                                            std::pair{CriticalAbove, &rule.criticalAbove},
                                            std::pair{WarningBelow, &rule.warningBelow},
                                            std::pair{CriticalBelow, &rule.criticalBelow}}) {
            if (!text(column).isEmpty())
                *bound = LimitRule::Bound::fromText(text(column));
        }
        if (!text(WarningText).isEmpty())
            rule.warningText = listOf(text(WarningText));
        if (!text(CriticalText).isEmpty())
            rule.criticalText = listOf(text(CriticalText));
        if (!text(After).isEmpty())
            rule.after = afterOf(text(After));
        if (!text(Margin).isEmpty())
            rule.margin = marginOf(text(Margin));
        rule.otherKeys = row.otherKeys;
        rules.append(std::move(rule));
    }
    return rules;
}

QString LimitRulesModel::problem(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= ColumnCount)
        return {};
    const QString text = m_rows[row].texts[size_t(column)].trimmed();
    const QString quoted = u'"' + text + u'"';
    if (column == Reading && text.isEmpty())
        return tr("every rule needs the name of a reading");
    if (text.isEmpty())
        return {};
    if (isBound(column) && !LimitRule::Bound::fromText(text).ok)
        return tr("%1 is not a number").arg(quoted);
    if (column == After && !afterOf(text))
        return tr("%1 is not a whole number from 1 to %2").arg(quoted).arg(LimitRule::maxAfter);
    if (column == Margin && !marginOf(text))
        return tr("%1 is not a number of 0 or more without a unit").arg(quoted);
    return {};
}

QStringList LimitRulesModel::problems() const
{
    QStringList lines;
    for (int row = 0; row < m_rows.size(); ++row) {
        for (int column = 0; column < ColumnCount; ++column) {
            if (const QString what = problem(row, column); !what.isEmpty())
                lines.append(
                    tr("Row %1, %2: %3.").arg(row + 1).arg(tr(titles[size_t(column)]), what));
        }
    }
    return lines;
}

int LimitRulesModel::appendRow()
{
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.append(Row());
    endInsertRows();
    return row;
}

int LimitRulesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int LimitRulesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LimitRulesModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return m_rows[index.row()].texts[size_t(index.column())];
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        if (const QString what = problem(index.row(), index.column()); !what.isEmpty())
            return what;
        return {};
    // A pale red under black text reads in light and dark themes alike.
    case Qt::BackgroundRole:
        if (!problem(index.row(), index.column()).isEmpty())
            return QColor(0xff, 0xc8, 0xc8);
        return {};
    case Qt::ForegroundRole:
        if (!problem(index.row(), index.column()).isEmpty())
            return QColor(Qt::black);
        return {};
    default:
        return {};
    }
}

bool LimitRulesModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    QString text = value.toString();
    // Lists are shown evenly spaced however they were typed.
    if (isList(index.column()))
        text = listOf(text).join(u", "_qs);
    m_rows[index.row()].texts[size_t(index.column())] = text.trimmed();
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags LimitRulesModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

QVariant LimitRulesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    if (section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return tr(titles[size_t(section)]);
    if (role == Qt::ToolTipRole)
        return tr(hints[size_t(section)]);
    return {};
}

bool LimitRulesModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count < 1 || row + count > m_rows.size())
        return false;
    beginRemoveRows({}, row, row + count - 1);
    m_rows.remove(row, count);
    endRemoveRows();
    return true;
}

bool LimitRulesModel::moveRows(const QModelIndex &sourceParent, int sourceRow, int count,
                               const QModelIndex &destinationParent, int destinationChild)
{
    if (sourceParent.isValid() || destinationParent.isValid() || sourceRow < 0 || count < 1
        || sourceRow + count > m_rows.size() || destinationChild < 0
        || destinationChild > m_rows.size()
        || (destinationChild >= sourceRow && destinationChild <= sourceRow + count))
        return false;
    beginMoveRows({}, sourceRow, sourceRow + count - 1, {}, destinationChild);
    const QList<Row> moved = m_rows.mid(sourceRow, count);
    m_rows.remove(sourceRow, count);
    const int to = destinationChild > sourceRow ? destinationChild - count : destinationChild;
    for (int i = 0; i < count; ++i)
        m_rows.insert(to + i, moved[i]);
    endMoveRows();
    return true;
}
