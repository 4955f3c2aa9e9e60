#include "framework/application.h"
#include "framework/dialogs.h"
#include "framework/exceptions.h"
#include "support/fake_dialogs.h"

#include <QObject>
#include <gtest/gtest.h>

using namespace pelisto;
using pelisto::testing::ScopedFakeDialogs;

namespace {

QStringList Captions(const MessageBoxRequest& r) {
    QStringList out;
    for (const auto& b : r.buttons) {
        out << b.caption;
    }
    return out;
}

TEST(MessageDlg, TitlesFollowTheTypeAndButtonsKeepTheirOrder) {
    EXPECT_EQ(BuildMessageDlg("x", MsgDlgType::Warning, mbOK).title, "Avertissement");
    EXPECT_EQ(BuildMessageDlg("x", MsgDlgType::Error, mbOK).title, "Erreur");
    EXPECT_EQ(BuildMessageDlg("x", MsgDlgType::Information, mbOK).title, "Information");
    EXPECT_EQ(BuildMessageDlg("x", MsgDlgType::Confirmation, mbOK).title, "Confirmation");
    EXPECT_EQ(BuildMessageDlg("x", MsgDlgType::Error, mbOK).icon, MsgBoxIcon::Error);

    // Whatever order the caller names them in, Yes, No, OK is the order shown.
    const auto r = BuildMessageDlg("x", MsgDlgType::Confirmation, mbOK | mbNo | mbYes);
    EXPECT_EQ(Captions(r), (QStringList{"&Oui", "&Non", "OK"}));
    EXPECT_EQ(r.buttons[0].result, 6);
    EXPECT_EQ(r.buttons[1].result, mrNo);
}

TEST(MessageDlg, DefaultAndEscapeButtons) {
    auto yesNo = BuildMessageDlg("x", MsgDlgType::Confirmation, mbYes | mbNo);
    EXPECT_EQ(yesNo.defaultResult, mrYes);
    EXPECT_EQ(yesNo.escapeResult, mrNo);

    auto okOnly = BuildMessageDlg("x", MsgDlgType::Error, mbOK);
    EXPECT_EQ(okOnly.defaultResult, mrOk);
    EXPECT_EQ(okOnly.escapeResult, mrOk);

    auto all = BuildMessageDlg("x", MsgDlgType::Warning, mbYes | mbNo | mbOK | mbCancel);
    EXPECT_EQ(all.defaultResult, mrOk);
    EXPECT_EQ(all.escapeResult, mrCancel);
}

TEST(MessageDlg, ReturnsTheButtonPressed) {
    ScopedFakeDialogs fake;
    fake->boxAnswers.push_back(mrNo);
    EXPECT_EQ(MessageDlg("Sure?", MsgDlgType::Confirmation, mbYes | mbNo), mrNo);
    ASSERT_EQ(fake->boxes.size(), 1u);
    EXPECT_EQ(fake->boxes[0].text, "Sure?");
}

TEST(ErrorDisplay, AppendsAPeriodOnlyAfterCharactersSortingAfterIt) {
    EXPECT_EQ(ErrorDisplayText("Disk full"), "Disk full.");
    EXPECT_EQ(ErrorDisplayText("Done."), "Done.");
    EXPECT_EQ(ErrorDisplayText("Why?"), "Why?.");
    EXPECT_EQ(ErrorDisplayText("Stop!"), "Stop!");
    EXPECT_EQ(ErrorDisplayText("Bye bye ;-("), "Bye bye ;-("); // '(' sorts before '.'
    EXPECT_EQ(ErrorDisplayText("a,"), "a,");
    EXPECT_EQ(ErrorDisplayText(""), "");
}

TEST(ErrorDisplay, ShowsTheMessageUnderTheApplicationTitleAndDropsAborts) {
    ScopedFakeDialogs fake;
    SetApplicationTitle("Pelisto maker");
    ShowException(EFOpenError("/x/y.jpg"));
    ShowException(EAbort());
    ASSERT_EQ(fake->boxes.size(), 1u);
    EXPECT_EQ(fake->boxes[0].title, "Pelisto maker");
    EXPECT_EQ(fake->boxes[0].text, "Impossible d'ouvrir le fichier /x/y.jpg.");
    EXPECT_EQ(fake->boxes[0].icon, MsgBoxIcon::Error);
    ASSERT_EQ(fake->boxes[0].buttons.size(), 1u);
    EXPECT_EQ(fake->boxes[0].buttons[0].caption, "OK");
}

// An event handler that throws must not end the tool: the error is shown and the next
// event is delivered as usual.
class Thrower : public QObject {
public:
    int events = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            ++events;
            throw EWriteError();
        }
        return QObject::event(e);
    }
};

TEST(ErrorDisplay, ExceptionLeavingAHandlerIsShownAndTheLoopGoesOn) {
    ScopedFakeDialogs fake;
    ASSERT_NE(dynamic_cast<Application*>(QCoreApplication::instance()), nullptr);
    Thrower target;
    QEvent e1(QEvent::User), e2(QEvent::User);
    QCoreApplication::sendEvent(&target, &e1);
    QCoreApplication::sendEvent(&target, &e2);
    EXPECT_EQ(target.events, 2);
    ASSERT_EQ(fake->boxes.size(), 2u);
    EXPECT_EQ(fake->boxes[1].text, QString::fromUtf8("Erreur d'écriture dans le flux."));
}

TEST(Filters, PipeFiltersBecomeQtFilters) {
    EXPECT_EQ(QtFilterFromPipes("All pictures|*.wmf;*.bmp"), "All pictures (*.wmf *.bmp)");
    EXPECT_EQ(QtFilterFromPipes("A|*.a|B|*.b"), "A (*.a);;B (*.b)");
}

} // namespace
