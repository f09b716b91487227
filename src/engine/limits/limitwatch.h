#pragma once

#include "engine/reception/readingstates.h"
#include "engine/reception/tablelistener.h"
#include "limitrules.h"
#include "limitstate.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <deque>
#include <vector>

class ReadingsTable;

// The limits applied to the readings table: the state of each reading a rule names, each
// host's worst state, and how many hosts are critical and how many warning. Rows are
// numbered as views count them, pairs from 0.
//
// Without rules it keeps nothing per row and does not even hear of readings. With rules,
// a value is looked at only where a rule names its reading; which rule applies to a pair
// is found once, when the pair takes its name.
class LimitWatch final : public QObject, public TableListener, public ReadingStates
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LimitWatch)

public:
    using Level = LimitState::Level;
    // New rules are applied to the table in slices of about this long, from the event loop,
    // so that the window keeps answering and readings keep arriving.
    static constexpr int sliceMs = 50;

    // Follows table, which must outlive the watch, and lets its views show the states.
    explicit LimitWatch(ReadingsTable &table, QObject *parent = nullptr);
    ~LimitWatch() override;

    // The watch that judges table's readings; null where none does.
    static const LimitWatch *of(const ReadingsTable &table);

    // Applies rules to every reading in the table; until applied() the rows not reached yet
    // keep their states under the rules before.
    void setRules(const LimitRules &rules);
    const LimitRules &rules() const { return m_sets.back().rules; }
    bool isApplying() const { return m_applyRow >= 0; }

    // The state of a reading a rule applies to; null for any other.
    const LimitState *state(int row, int pair) const;
    // The limits that judge a reading, as its state was last judged; null where no rule applies.
    const LimitRule *limits(int row, int pair) const;
    // "critical, above 95", as LimitState puts it; empty where no rule applies or the value
    // is normal.
    QString description(int row, int pair) const override;
    // Normal, Warning or Critical: the worst state among the host's readings.
    Level hostLevel(int row) const;
    // The first of the host's readings in its worst state; -1 while the host is normal.
    int worstPair(int row) const override;
    int criticalHosts() const { return m_critical; }
    int warningHosts() const { return m_warning; }

Q_SIGNALS:
    // The hosts whose worst state changed, in order: at the table's publish, and after each
    // slice of applying new rules. Rows views have not been told of yet are left out.
    void hostsChanged(const std::vector<int> &rows);
    // The readings of rows first to last were judged under new rules.
    void rowsJudged(int first, int last);
    void countsChanged(int criticalHosts, int warningHosts);
    // Every row follows the rules last set.
    void applied();

private:
    // What the rules say of a name: the id of its limits, or one of these.
    static constexpr int unresolved = -2;
    static constexpr int byHost = -3;

    // A set of rules and, once newer ones are set, what they said of each of the table's name
    // ids: the id of its limits, none, byHost or unresolved.
    struct Generation
    {
        LimitRules rules;
        std::vector<int> nameLimits;
    };
    // Pairs whose limits are found by name have only their state kept; those whose limits
    // depend on the host keep the id too, which few do.
    struct Row
    {
        std::vector<LimitState> states;              // up to the last pair a rule applies to
        std::vector<std::pair<int, int>> hostLimits; // pair and limits
        quint32 generation = 0;                      // of the rules its states follow
        Level worst = Level::Normal;
        bool queued = false; // in m_changed
    };

    void readingPosted(int row, int pair, bool newName) override;
    void nameTaken(int row, int pair);
    void renumbered(const std::vector<int> &newRows, const std::vector<int> &newNames) override;
    void published() override;

    const Row *rowAt(int row) const;
    Row &grow(int storedRow);
    const Generation &generationOf(const Row &row) const;
    // The limits of a pair holding this name, under the rules the row follows.
    int limitsOf(const Row &row, int pair, int nameId) const;
    // The limits of a pair under the last rules, found and kept on first use; perHost tells
    // whether they depend on the host.
    int limitsFor(int storedRow, int pair, bool &perHost);
    void judgeRow(int storedRow);
    void updateWorst(int storedRow);
    void clearAll();
    void applySlice();
    void tell();

    ReadingsTable &m_table;
    // The rules last set at the back, and before them those that rows not judged again yet
    // still follow; the front's generation is m_firstGeneration.
    std::deque<Generation> m_sets;
    quint32 m_firstGeneration = 0;
    QSet<QString> m_hostReadings;  // readings whose limits depend on the host
    std::vector<int> m_nameLimits; // by the table's name id, under the last rules
    // The last rules' limits by id, found without going through the rules.
    std::vector<const LimitJudge *> m_effective;
    std::vector<Row> m_rows;    // empty without rules
    std::vector<int> m_changed; // rows whose worst state changed since last told
    int m_critical = 0;
    int m_warning = 0;
    int m_toldCritical = 0;
    int m_toldWarning = 0;
    int m_applyRow = -1; // while applying, the first row not judged under the last rules
    QTimer m_applyTimer;
};
