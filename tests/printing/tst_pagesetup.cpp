// The page setup: its values in the settings store (kept, forgotten when they
// match the printer's defaults, unusable ones ignored), the sheet it lays out, and
// the Page Setup dialog reached from the main window's File menu. Needs the
// private_cups fixture, whose printer gives the defaults.
#include "windowfixture.h"
#include "errordialog.h"
#include "modal.h"
#include "mainwindow.h"
#include "named.h"
#include "pagesetup.h"
#include "pagesetupdialog.h"
#include "pdfstamp.h"
#include "privatecups.h"
#include "recording.h"
#include "registry.h"
#include "scriptedpagesource.h"
#include "services.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using dv::test::whenModal;
using dv::PageSetup;
using dv::RegValue;
using dv::test::named;

Q_DECLARE_METATYPE(dv::PageSetup)
Q_DECLARE_METATYPE(dv::RegValue)

namespace {

const QString key = QString::fromLatin1(dv::PageSetupKey);

// What a printer with A4 paper and 5 mm margins would give.
PageSetup printerDefaults()
{
    PageSetup setup;
    setup.paper = QPageSize(QPageSize::A4);
    setup.marginsMm = QMarginsF(5, 5, 5, 5);
    return setup;
}

QString describe(const PageSetup& s)
{
    const QMarginsF m = s.marginsMm;
    return QStringLiteral("%1 %2 margins %3/%4/%5/%6 headers %7 backgrounds %8 scale %9 fixed bars once %10")
        .arg(s.paper.key())
        .arg(s.orientation == QPageLayout::Landscape ? QStringLiteral("landscape") : QStringLiteral("portrait"))
        .arg(m.left())
        .arg(m.top())
        .arg(m.right())
        .arg(m.bottom())
        .arg(s.headerFooter)
        .arg(s.backgrounds)
        .arg(s.scalePercent)
        .arg(s.fixedBarsOnce);
}

struct PageSetupFixture : dv::test::ScriptedWindowFixture {
    explicit PageSetupFixture(const QString& registryPath)
        : ScriptedWindowFixture({}, registryPath)
    {
    }

    // Opens Page Setup from the File menu and lets act work the dialog.
    void inPageSetup(std::function<void(dv::PageSetupDialog*)> act)
    {
        bool seen = false;
        whenModal<dv::PageSetupDialog>([&](dv::PageSetupDialog* dialog) {
            seen = true;
            act(dialog);
        });
        named<QAction>(*form, "pageSetupAction")->trigger();
        QVERIFY(seen);
    }

};

} // namespace

class TestPageSetup : public QObject {
    Q_OBJECT

private slots:
    void storedChoices_areReadBack_data()
    {
        QTest::addColumn<PageSetup>("setup");
        PageSetup s = printerDefaults();
        s.orientation = QPageLayout::Landscape;
        QTest::newRow("landscape") << s;
        s = printerDefaults();
        s.marginsMm = QMarginsF(40, 12.5, 7, 30);
        QTest::newRow("own margins") << s;
        s = printerDefaults();
        s.headerFooter = false;
        s.backgrounds = false;
        QTest::newRow("no header, footer or backgrounds") << s;
        s = printerDefaults();
        s.scalePercent = 50;
        s.paper = QPageSize(QPageSize::Letter);
        QTest::newRow("letter at half size") << s;
        s = printerDefaults();
        s.fixedBarsOnce = false;
        QTest::newRow("fixed bars on every sheet") << s;
    }

    void storedChoices_areReadBack()
    {
        QFETCH(PageSetup, setup);
        QTemporaryDir dir;
        dv::RegistryStore registry(dir.filePath(QStringLiteral("registry.json")));
        QCOMPARE(describe(dv::loadPageSetup(registry, printerDefaults())), describe(printerDefaults()));
        QVERIFY(dv::savePageSetup(registry, setup, printerDefaults()));
        // Another instance, or the next start, reads the same file afresh.
        dv::RegistryStore again(registry.filePath());
        QCOMPARE(describe(dv::loadPageSetup(again, printerDefaults())), describe(setup));
    }

    void choicesEqualToDefaults_areForgotten_soTheyFollowThePrinter()
    {
        QTemporaryDir dir;
        dv::RegistryStore registry(dir.filePath(QStringLiteral("registry.json")));
        PageSetup chosen = printerDefaults();
        chosen.orientation = QPageLayout::Landscape;
        chosen.marginsMm = QMarginsF(20, 20, 20, 20);
        chosen.headerFooter = false;
        chosen.scalePercent = 80;
        chosen.fixedBarsOnce = false;
        QVERIFY(dv::savePageSetup(registry, chosen, printerDefaults()));
        QVERIFY(registry.queryValue(key, QStringLiteral("Orientation")));

        QVERIFY(dv::savePageSetup(registry, printerDefaults(), printerDefaults()));
        for (const char* name : {"PaperSize", "Orientation", "MarginLeft", "MarginTop", "MarginRight", "MarginBottom",
                 "HeadersAndFooters", "Backgrounds", "Scale", "FixedBarsOnce"})
            QVERIFY2(!registry.queryValue(key, QString::fromLatin1(name)), name);
        // Another printer's defaults now apply in full.
        PageSetup other;
        other.paper = QPageSize(QPageSize::Letter);
        other.marginsMm = QMarginsF(6.35, 6.35, 6.35, 6.35);
        QCOMPARE(describe(dv::loadPageSetup(registry, other)), describe(other));
    }

    void unusableStoredValue_fallsBackToItsDefault_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<RegValue>("value");
        QTest::newRow("paper unknown") << "PaperSize" << RegValue::text(QStringLiteral("Napkin"));
        QTest::newRow("paper as number") << "PaperSize" << RegValue::dword(9);
        QTest::newRow("orientation as text") << "Orientation" << RegValue::text(QStringLiteral("1"));
        QTest::newRow("orientation out of range") << "Orientation" << RegValue::dword(7);
        QTest::newRow("margin absurd") << "MarginLeft" << RegValue::dword(4000000000u);
        QTest::newRow("margin as binary") << "MarginTop" << RegValue::binary(QByteArray("\x10\x27\0\0\0", 5));
        QTest::newRow("margins leave no room") << "MarginLeft" << RegValue::dword(20000); // 200 mm on A4
        QTest::newRow("header switch out of range") << "HeadersAndFooters" << RegValue::dword(2);
        QTest::newRow("backgrounds as text") << "Backgrounds" << RegValue::text(QStringLiteral("no"));
        QTest::newRow("fixed bars switch out of range") << "FixedBarsOnce" << RegValue::dword(2);
        QTest::newRow("fixed bars switch as text") << "FixedBarsOnce" << RegValue::text(QStringLiteral("0"));
        QTest::newRow("scale too small") << "Scale" << RegValue::dword(5);
        QTest::newRow("scale absurd") << "Scale" << RegValue::dword(100000);
    }

    void unusableStoredValue_fallsBackToItsDefault()
    {
        QFETCH(QString, name);
        QFETCH(RegValue, value);
        QTemporaryDir dir;
        dv::RegistryStore registry(dir.filePath(QStringLiteral("registry.json")));
        // Four good margins, then the one under test spoils them (or another value).
        PageSetup stored = printerDefaults();
        stored.marginsMm = QMarginsF(10, 10, 10, 10);
        QVERIFY(dv::savePageSetup(registry, stored, printerDefaults()));
        QVERIFY(registry.setValue(key, name, value));
        PageSetup expected = stored;
        if (name.startsWith(QLatin1String("Margin")))
            expected.marginsMm = printerDefaults().marginsMm;
        QCOMPARE(describe(dv::loadPageSetup(registry, printerDefaults())), describe(expected));
    }

    void sheetLayout_widensThinMarginsForTheHeaderAndFooterOnly_data()
    {
        QTest::addColumn<bool>("headerFooter");
        QTest::addColumn<double>("marginMm");
        QTest::addColumn<double>("topAndBottomPt");
        const double thin = 2 * 72 / 25.4;
        const double wide = 30 * 72 / 25.4;
        QTest::newRow("thin, printed") << true << 2.0 << dv::HeaderFooterBandPt;
        QTest::newRow("thin, not printed") << false << 2.0 << thin;
        QTest::newRow("wide, printed") << true << 30.0 << wide;
    }

    void sheetLayout_widensThinMarginsForTheHeaderAndFooterOnly()
    {
        QFETCH(bool, headerFooter);
        QFETCH(double, marginMm);
        QFETCH(double, topAndBottomPt);
        PageSetup setup = printerDefaults();
        setup.headerFooter = headerFooter;
        setup.marginsMm = QMarginsF(marginMm, marginMm, marginMm, marginMm);
        const QMarginsF points = dv::sheetLayout(setup).margins(QPageLayout::Point);
        QVERIFY(qAbs(points.top() - topAndBottomPt) < 0.01);
        QVERIFY(qAbs(points.bottom() - topAndBottomPt) < 0.01);
        QVERIFY(qAbs(points.left() - marginMm * 72 / 25.4) < 0.01); // the sides stay as chosen
    }

    void dialog_showsEditsAndRestoresTheSetup()
    {
        PageSetup current = printerDefaults();
        current.orientation = QPageLayout::Landscape;
        current.marginsMm = QMarginsF(25, 15, 10, 20);
        current.headerFooter = false;
        current.scalePercent = 70;
        dv::PageSetupDialog dialog(current, printerDefaults());
        QCOMPARE(describe(dialog.pageSetup()), describe(current));
        QVERIFY(!named<QCheckBox>(dialog, "headerFooterCheck")->isChecked());
        QVERIFY(named<QSpinBox>(dialog, "scaleSpin")->isEnabled());

        named<QRadioButton>(dialog, "fitWidthButton")->click();
        QVERIFY(!named<QSpinBox>(dialog, "scaleSpin")->isEnabled());
        QCOMPARE(dialog.pageSetup().scalePercent, 0);
        // Margins cannot squeeze the content below its smallest box.
        named<QDoubleSpinBox>(dialog, "leftMarginSpin")->setValue(500);
        const double width = QPageSize(QPageSize::A4).size(QPageSize::Millimeter).height(); // landscape
        QCOMPARE(dialog.pageSetup().marginsMm.left(), width - dv::MinContentMm - 10);

        named<QAbstractButton>(dialog, "restoreDefaultsButton")->click();
        QCOMPARE(describe(dialog.pageSetup()), describe(printerDefaults()));
    }

    void dialog_everyControlIsNamedAndReachableByKeyboard()
    {
        dv::PageSetupDialog dialog(printerDefaults(), printerDefaults());
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QStringList missing;
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w)
                || qobject_cast<QAbstractSpinBox*>(w);
            if (!control || !w->isVisible())
                continue;
            if (w->accessibleName().isEmpty() && qobject_cast<QAbstractButton*>(w) == nullptr)
                missing << w->objectName() + QStringLiteral(" has no accessible name");
            if (!(w->focusPolicy() & Qt::TabFocus))
                missing << w->objectName() + QStringLiteral(" cannot be reached with Tab");
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
        // Alt+H works the header switch, as its label promises.
        QVERIFY(named<QCheckBox>(dialog, "headerFooterCheck")->isChecked());
        QTest::keyClick(dialog.windowHandle(), Qt::Key_H, Qt::AltModifier);
        QTRY_VERIFY(!named<QCheckBox>(dialog, "headerFooterCheck")->isChecked()); // a shortcut clicks after a moment
        // Fixed bars print once by default; Alt+X switches that off.
        QVERIFY(named<QCheckBox>(dialog, "fixedBarsOnceCheck")->isChecked());
        QTest::keyClick(dialog.windowHandle(), Qt::Key_X, Qt::AltModifier);
        QTRY_VERIFY(!named<QCheckBox>(dialog, "fixedBarsOnceCheck")->isChecked());
        QVERIFY(!dialog.pageSetup().fixedBarsOnce);
    }

    void pageSetupMenu_choicesSurviveARestart_andRestoreDefaultsForgetsThem()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("registry.json"));
        const PageSetup defaults = dv::defaultPageSetup();
        {
            PageSetupFixture f(file);
            f.inPageSetup([](dv::PageSetupDialog* dialog) {
                named<QRadioButton>(*dialog, "landscapeButton")->click();
                named<QCheckBox>(*dialog, "headerFooterCheck")->click();
                named<QDoubleSpinBox>(*dialog, "leftMarginSpin")->setValue(33);
                named<QCheckBox>(*dialog, "fixedBarsOnceCheck")->click();
                dialog->accept();
            });
        }
        PageSetup expected = defaults;
        expected.orientation = QPageLayout::Landscape;
        expected.headerFooter = !defaults.headerFooter;
        expected.marginsMm.setLeft(33);
        expected.fixedBarsOnce = false;
        {
            PageSetupFixture f(file);
            PageSetup shown;
            f.inPageSetup([&shown](dv::PageSetupDialog* dialog) {
                shown = dialog->pageSetup();
                named<QAbstractButton>(*dialog, "restoreDefaultsButton")->click();
                dialog->accept();
            });
            QCOMPARE(describe(shown), describe(expected));
            QVERIFY(f.dialogs.messages.isEmpty());
        }
        dv::RegistryStore registry(file);
        QVERIFY(!registry.queryValue(key, QStringLiteral("Orientation")));
        QCOMPARE(describe(dv::loadPageSetup(registry, defaults)), describe(defaults));
    }

    void pageSetupMenu_unusableValues_showDefaultsWithoutAnErrorBox()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("registry.json"));
        {
            dv::RegistryStore registry(file);
            registry.setValue(key, QStringLiteral("Orientation"), RegValue::text(QStringLiteral("sideways")));
            registry.setValue(key, QStringLiteral("Scale"), RegValue::dword(0xFFFFFFFFu));
            registry.setValue(key, QStringLiteral("MarginTop"), RegValue::dword(123456789));
        }
        PageSetupFixture f(file);
        PageSetup shown;
        f.inPageSetup([&shown](dv::PageSetupDialog* dialog) {
            shown = dialog->pageSetup();
            dialog->reject();
        });
        QCOMPARE(describe(shown), describe(dv::defaultPageSetup()));
        QVERIFY(f.dialogs.messages.isEmpty());
    }
};

int main(int argc, char* argv[])
{
    // The printer's defaults come from the private scheduler, never the machine's own.
    dv::test::PrivateCups().select();
    QApplication app(argc, argv);
    TestPageSetup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_pagesetup.moc"
