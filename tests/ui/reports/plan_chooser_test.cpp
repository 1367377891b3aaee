#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <sstream>
#include <string>

#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "reports/report_export.h"
#include "support/modal_driver.h"
#include "support/temp_dir.h"
#include "tariff/totals.h"
#include "ui/reports/report_dlg.h"
#include "ui/reports/summary_dlg.h"

namespace tavu {
namespace {

using test::writeFile;

// Ten minutes on the device given, on 2 May 2024.
std::string tenMinutes(const char* device) {
    return std::string("02-05-2024|10:00:00|02-05-2024|10:10:00|joe|") + device +
           "|ISP|100|200|\r\n";
}

class PlanChooser : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(dir.file("tavu.ini"),
                  "[Price]\nCostPerMinute=0.1\n"
                  "[Plan Modem]\nMatch=ttyUSB*\nCostPerMinute=1\n");
        writeFile(dir.file("logfile.log"), tenMinutes("ttyS0") + tenMinutes("ttyUSB0"));
    }
    static void pick(QComboBox* box, const char* text) {
        const int i = box->findText(QString::fromUtf8(text));
        ASSERT_GE(i, 0) << text;
        box->setCurrentIndex(i);
    }

    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ManualClock clock{fromLocal(2024, 5, 3, 12)};
};

// Lines 0 and 2 of the Summary: the count of connections and the total cost.
TEST_F(PlanChooser, TheSummaryCountsThePlanChosen) {
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 1);
    CSummaryDlg dlg(settings, dir.path(), clock);
    QComboBox* plan = dlg.planBox();
    EXPECT_FALSE(plan->isHidden());
    EXPECT_EQ(plan->itemText(0), "All plans");
    EXPECT_EQ(plan->count(), 3);  // All plans, Default, Modem
    EXPECT_EQ(dlg.valueText(0), "2");
    EXPECT_EQ(dlg.valueText(2), "11.00");
    EXPECT_EQ(dlg.filterBox()->itemText(1), "Current periods of all plans");

    pick(plan, "Modem");
    EXPECT_EQ(dlg.valueText(0), "1");
    EXPECT_EQ(dlg.valueText(2), "10.00");
    EXPECT_EQ(dlg.filterBox()->itemText(1), "Only this month");
    pick(plan, "Default");
    EXPECT_EQ(dlg.valueText(2), "1.00");
    pick(plan, "All plans");
    EXPECT_EQ(dlg.valueText(2), "11.00");
}

TEST_F(PlanChooser, WithoutPlansThereIsNoChoice) {
    writeFile(dir.file("tavu.ini"), "[Price]\nCostPerMinute=0.1\n");
    CSummaryDlg summary(settings, dir.path(), clock);
    EXPECT_TRUE(summary.planBox()->isHidden());
    EXPECT_EQ(summary.valueText(2), "2.00");
    CReportDlg report(settings, dir.path(), clock);
    EXPECT_TRUE(report.planBox()->isHidden());
}

// The Report's choice goes to its export, as tavu report --plan writes it, and to the Summary it
// opens.
TEST_F(PlanChooser, TheReportExportsAndSumsUpThePlanChosen) {
    CReportDlg dlg(settings, dir.path(), clock);
    EXPECT_EQ(dlg.model()->rowCount(), 2);
    pick(dlg.planBox(), "Modem");
    // The list shows the plan's records only.
    ASSERT_EQ(dlg.model()->rowCount(), 1);
    EXPECT_EQ(dlg.model()->cellText(0, 5), "ttyUSB0");
    const std::string path = dir.file("modem.csv");
    ASSERT_TRUE(dlg.exportTo(path));
    std::ostringstream modem;
    ASSERT_TRUE(writeReport(settings, dir.file("logfile.log"), ReportFormat::Csv,
                            SummaryFilter::All, clock.localNow(), modem, "Modem"));
    const std::string written = test::readFile(path);
    EXPECT_EQ(written, modem.str());
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 2);  // the heading, one row

    std::string chosen;
    QString cost;
    test::ModalDriver driver([&](QDialog* d) {
        if (auto* s = qobject_cast<CSummaryDlg*>(d)) {
            chosen = s->chosenPlan();
            cost = s->valueText(2);
        }
        d->reject();
    });
    dlg.show();
    QTest::mouseClick(dlg.summaryButton(), Qt::LeftButton);
    EXPECT_EQ(chosen, "Modem");
    EXPECT_EQ(cost, "10.00");
}

}  // namespace
}  // namespace tavu
