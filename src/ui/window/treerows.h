#pragma once

#include <QList>
#include <QString>

class QTreeWidgetItem;

// Gives a tree group the rows of one refresh, in order. Rows that exist are reused and only texts
// that changed are set; the rows beyond the old count are added in one go and those beyond the
// new count removed, so the view keeps its scroll position and the group its expansion.
class TreeRows
{
public:
    TreeRows(QTreeWidgetItem *group, qsizetype count);

    void put(const QString &first, const QString &second, const QString &third);
    // Adds or removes the rows beyond those put.
    void finish();

private:
    QTreeWidgetItem *m_group = nullptr;
    int m_reused = 0;
    int m_next = 0;
    QList<QTreeWidgetItem *> m_added;
};
