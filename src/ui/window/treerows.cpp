#include "window/treerows.h"

#include <QTreeWidgetItem>

#include <algorithm>

namespace {

void setChangedText(QTreeWidgetItem *row, int column, const QString &text)
{
    if (row->text(column) != text)
        row->setText(column, text);
}

} // namespace

TreeRows::TreeRows(QTreeWidgetItem *group, qsizetype count)
    : m_group(group), m_reused(std::min(group->childCount(), int(count)))
{
    if (count > m_reused)
        m_added.reserve(count - m_reused);
}

void TreeRows::put(const QString &first, const QString &second, const QString &third)
{
    if (m_next < m_reused) {
        QTreeWidgetItem *row = m_group->child(m_next);
        setChangedText(row, 0, first);
        setChangedText(row, 1, second);
        setChangedText(row, 2, third);
    } else {
        m_added.append(new QTreeWidgetItem({first, second, third}));
    }
    ++m_next;
}

void TreeRows::finish()
{
    if (!m_added.isEmpty()) {
        m_group->addChildren(m_added);
        m_added.clear();
    }
    while (m_group->childCount() > m_next)
        delete m_group->takeChild(m_group->childCount() - 1);
}
