// Every window as a user sees it: no two controls over each other (except
// where the window's plan places them so), every caption and value fully
// visible, grids without scroll bars, the notice and the list without
// clipped lines. Run at 96 dpi and again at twice the scale.
#include "tests/support/StoredSettings.h"
#include "tests/support/WindowUnderTest.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Pairs the window's plan places over each other: the domain box, the list
// button and 查询 share their edges, the trend picture box covers tb2's
// right end, and tb2's bottom edge lies on 近期收录's top edge.
const QSet<QString> kPlannedOverlaps = {QStringLiteral("dm+showdms"), QStringLiteral("GO+showdms"),
                                        QStringLiteral("Picture1+tb2"), QStringLiteral("Check3+tb2")};

QString pairName(const QWidget *a, const QWidget *b)
{
    const QString x = a->objectName(), y = b->objectName();
    return x < y ? x + u'+' + y : y + u'+' + x;
}

// What does not show of a control's caption: empty when all of it does.
QString clippedCaption(const QWidget *w)
{
    const QFontMetrics fm = w->fontMetrics();
    if (const auto *label = qobject_cast<const QLabel *>(w)) {
        if (label->text().isEmpty() || !label->pixmap().isNull())
            return QString();
        if (fm.horizontalAdvance(label->text()) > label->contentsRect().width() || fm.height() > label->height())
            return label->text();
    } else if (const auto *button = qobject_cast<const QAbstractButton *>(w)) {
        // Check boxes and options need their indicator beside the text.
        const bool plain = qobject_cast<const QPushButton *>(w);
        const int needed = plain ? fm.horizontalAdvance(button->text()) + 4 : button->sizeHint().width();
        if (needed > button->width() || fm.height() > button->height())
            return button->text();
    }
    return QString();
}

QStringList layoutProblems(const QWidget *window)
{
    QStringList problems;
    QList<QWidget *> shown;
    for (QWidget *w : window->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (w->isVisible())
            shown << w;
    for (int i = 0; i < shown.size(); ++i) {
        if (!window->rect().contains(shown[i]->geometry()))
            problems << shown[i]->objectName() + QStringLiteral(" reaches outside the window");
        for (int j = i + 1; j < shown.size(); ++j)
            if (shown[i]->geometry().intersects(shown[j]->geometry())
                && !kPlannedOverlaps.contains(pairName(shown[i], shown[j])))
                problems << QStringLiteral("overlap ") + pairName(shown[i], shown[j]);
        if (const QString clipped = clippedCaption(shown[i]); !clipped.isEmpty())
            problems << shown[i]->objectName() + QStringLiteral(" clips ") + clipped;
    }
    return problems;
}

QStringList gridProblems(const QTableWidget *grid, int visibleRight)
{
    QStringList problems;
    int right = grid->x() + grid->frameWidth();
    for (int c = 0; c < grid->columnCount(); ++c) {
        if (grid->isColumnHidden(c))
            continue;
        right += grid->columnWidth(c);
        for (int r = 0; r < grid->rowCount(); ++r) {
            const QString text = grid->item(r, c)->text();
            if (grid->fontMetrics().horizontalAdvance(text) + 4 > grid->columnWidth(c))
                problems << QStringLiteral("%1 cell %2,%3 clips %4").arg(grid->objectName()).arg(r).arg(c).arg(text);
        }
    }
    if (right > visibleRight)
        problems << grid->objectName() + QStringLiteral(" columns end under another control");
    int height = 0;
    for (int r = 0; r < grid->rowCount(); ++r)
        height += grid->rowHeight(r);
    if (height > grid->viewport()->height() || grid->horizontalScrollBar()->maximum() > 0)
        problems << grid->objectName() + QStringLiteral(" needs scrolling");
    return problems;
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_dir.path())); }
    void mainWindow();
    void dialogs();
    void domainListRowsFitTheirHeight();

private:
    QTemporaryDir m_dir;
};

void TestLayout::mainWindow()
{
    yztest::WindowRig rig;
    rig.window.startUp();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    // The longest values a grid shows.
    for (QTableWidget *grid : {rig.window.tb1, rig.window.tb2, rig.window.tb3})
        for (int r = 1; r < grid->rowCount(); ++r)
            for (int c = 1; c < grid->columnCount(); ++c)
                grid->item(r, c)->setText(QStringLiteral("loading"));
    rig.window.tb2->item(1, 1)->setText(QStringLiteral("2010-12-31"));
    QStringList problems = layoutProblems(&rig.window);
    problems << gridProblems(rig.window.tb1, rig.window.tb1->geometry().right());
    problems << gridProblems(rig.window.tb2, rig.window.Picture1->x());
    problems << gridProblems(rig.window.tb3, rig.window.tb3->geometry().right());
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
}

void TestLayout::dialogs()
{
    yztest::WindowRig rig;
    rig.window.startUp();
    QTest::mouseClick(rig.window.dmset, Qt::LeftButton);
    QTest::mouseClick(rig.window.Label1, Qt::LeftButton);
    for (QWidget *dialog :
         std::initializer_list<QWidget *>{rig.window.settingsDialog(), rig.window.suggestionDialog()}) {
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        const QStringList problems = layoutProblems(dialog);
        QVERIFY2(problems.isEmpty(), qPrintable(dialog->objectName() + u'\n' + problems.join(u'\n')));
    }
    // The notice shows whole, without a scroll bar.
    const yztest::SettingsDialogUnderTest settings(rig.window.settingsDialog());
    QPlainTextEdit *notice = settings.tongjiIntro;
    QVERIFY(notice->toPlainText().contains(QStringLiteral("在您的统计")));
    QCOMPARE(notice->verticalScrollBar()->maximum(), 0);
}

void TestLayout::domainListRowsFitTheirHeight()
{
    QVERIFY(yztest::storeSettings("10000|a|first.com,second.cn,third-one.net|\r\n"));
    yztest::WindowRig rig;
    rig.window.startUp();
    QTest::mouseClick(rig.window.showdms, Qt::LeftButton);
    QListWidget *list = rig.window.List1;
    QVERIFY(list->isVisible());
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->verticalScrollBar()->maximum(), 0);
    for (int i = 0; i < list->count(); ++i) {
        const QRect row = list->visualItemRect(list->item(i));
        QVERIFY2(list->viewport()->rect().contains(row), qPrintable(list->item(i)->text()));
        QVERIFY(list->fontMetrics().height() <= row.height());
        QVERIFY(list->fontMetrics().horizontalAdvance(list->item(i)->text()) <= row.width());
    }
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
