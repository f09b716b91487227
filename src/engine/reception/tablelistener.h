#pragma once

#include <vector>

// Told by the readings table of what it stores, so that a store of its own keyed on the
// table's rows or name ids (limit states, a history, an overview) can follow it. Rows and
// name ids are numbered as ReadingsTable's accessors take them.
class TableListener
{
public:
    TableListener() = default;
    virtual ~TableListener() = default;
    TableListener(const TableListener &) = delete;
    TableListener &operator=(const TableListener &) = delete;

    // A reading was posted to pair of row, which views may not have been told of yet;
    // newName when the pair held another name, or none, before. Called for every reading
    // the table takes: it must cost little. While ReadingsTable::isRestoring(), the reading
    // is a value kept from before start-up, not heard; the first hearing of such a reading
    // comes with ReadingsTable::postedWasRestored() true.
    //
    // A store of hearings (a history, an archive) returns at once while the table restores,
    // and takes a post with postedWasRestored() as the reading's first hearing.
    virtual void readingPosted(int row, int pair, bool newName) = 0;
    // The table dropped rows and numbered what was left afresh: newRows[old row] and
    // newNames[old name id] say the new number, or -1 for one that is gone.
    virtual void renumbered(const std::vector<int> &newRows, const std::vector<int> &newNames) = 0;
    // The table has just told views of what was posted since the last publish: a listener
    // with news for views of its own tells them now, as seldom as the table does.
    virtual void published() {}
};
