#include "addresslistedit.h"

#include "engine/reception/senderfilter.h"

#include <QTextBlock>

AddressListEdit::AddressListEdit(const QStringList &entries, QWidget *parent)
    : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    setPlainText(entries.join(u'\n'));
    connect(this, &QPlainTextEdit::textChanged, this, [this] { checkLines(); });
}

QString AddressListEdit::checkLines()
{
    QList<QTextEdit::ExtraSelection> marks;
    QString first;
    int faults = 0;
    for (QTextBlock line = document()->begin(); line.isValid(); line = line.next()) {
        const QString why = SenderFilter::check(line.text());
        if (line.text().trimmed().isEmpty() || why.isEmpty())
            continue;
        if (faults++ == 0)
            first = tr("Line %1: %2").arg(line.blockNumber() + 1).arg(why);
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(line);
        mark.cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        mark.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        mark.format.setUnderlineColor(Qt::red);
        mark.format.setBackground(QColor(255, 220, 220));
        marks.append(mark);
    }
    setExtraSelections(marks);
    const QString problem =
        faults > 1 ? tr("%1 (and %2 more lines)").arg(first).arg(faults - 1) : first;
    Q_EMIT checked(problem);
    return problem;
}
