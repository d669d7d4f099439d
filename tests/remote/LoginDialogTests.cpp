#include "TClickLabel.h"
#include "TLoginDlg.h"
#include "TPictureButton.h"
#include "TProfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class LoginDialogTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TProfile profile{dir.filePath("CALDRIS.INI")};
    int beeps = 0;

    void Put(const QByteArray& text)
    {
        QFile f(profile.Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    std::unique_ptr<TLoginDlg> Make()
    {
        auto dlg = std::make_unique<TLoginDlg>(profile);
        dlg->Beep = [this] { ++beeps; };
        return dlg;
    }
    static QStringList Items(const QComboBox* box)
    {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }
    static void Show(TLoginDlg& dlg)
    {
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }
};

TEST_F(LoginDialogTest, LayoutAndCaption)
{
    auto dlg = Make();
    EXPECT_EQ(dlg->windowTitle(), "Connect to Halvex Olvesk");
    EXPECT_EQ(dlg->size(), QSize(340, 180));
    EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());
    EXPECT_EQ(dlg->UserName->geometry().topLeft(), QPoint(152, 24));
    EXPECT_EQ(dlg->UserName->width(), 169);
    EXPECT_TRUE(dlg->UserName->isEditable());
    EXPECT_EQ(dlg->Password->geometry().topLeft(), QPoint(152, 64));
    EXPECT_EQ(dlg->Password->width(), 169);
    EXPECT_EQ(dlg->Remember->geometry(), QRect(152, 96, 15, 15));
    EXPECT_TRUE(dlg->Remember->text().isEmpty());
    EXPECT_FALSE(dlg->Remember->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(dlg->RememberLabel->pos(), QPoint(169, 96));
    EXPECT_EQ(dlg->RememberLabel->text(), "Remember my password");
    EXPECT_EQ(dlg->OkButton->geometry(), QRect(152, 145, 72, 21));
    EXPECT_EQ(dlg->CancelButton->geometry(), QRect(248, 144, 74, 23));
    EXPECT_EQ(dlg->CancelLabel->text(), "Cancel");
    EXPECT_TRUE(dlg->CancelLabel->font().bold());
    dlg->Password->setText("abc");
    EXPECT_EQ(dlg->Password->displayText(), "***");
}

TEST_F(LoginDialogTest, WithoutSettingsEverythingIsEmpty)
{
    auto dlg = Make();
    EXPECT_EQ(dlg->UserNameText(), "");
    EXPECT_EQ(dlg->UserName->count(), 0);
    EXPECT_EQ(dlg->PasswordText(), "");
    EXPECT_FALSE(dlg->RememberChecked());
}

TEST_F(LoginDialogTest, NamesInFileOrderAndTheLastUserSelectedIgnoringCase)
{
    Put("[FTP]\nUser=KIM\n[Users]\nzoe=\nkim=pw\nadam=\n");
    auto dlg = Make();
    EXPECT_EQ(Items(dlg->UserName), (QStringList{"zoe", "kim", "adam"}));
    EXPECT_EQ(dlg->UserName->currentIndex(), 1);
    EXPECT_EQ(dlg->PasswordText(), "pw");
    EXPECT_TRUE(dlg->RememberChecked());
}

TEST_F(LoginDialogTest, UserNotInTheListIsShownWithoutSelection)
{
    Put("[FTP]\nUser=lee\n[Users]\nzoe=z\n");
    auto dlg = Make();
    EXPECT_EQ(dlg->UserNameText(), "lee");
    EXPECT_EQ(dlg->UserName->currentIndex(), -1);
    EXPECT_EQ(dlg->PasswordText(), "");
    EXPECT_FALSE(dlg->RememberChecked());
}

TEST_F(LoginDialogTest, PickingANameFillsPasswordAndRemember)
{
    Put("[FTP]\nUser=kim\n[Users]\nzoe=\nkim=pw\n");
    auto dlg = Make();
    ASSERT_TRUE(dlg->RememberChecked());
    dlg->UserName->setCurrentIndex(0);
    emit dlg->UserName->activated(0);
    EXPECT_EQ(dlg->PasswordText(), "");
    EXPECT_FALSE(dlg->RememberChecked());
    dlg->UserName->setCurrentIndex(1);
    emit dlg->UserName->activated(1);
    EXPECT_EQ(dlg->PasswordText(), "pw");
    EXPECT_TRUE(dlg->RememberChecked());
}

TEST_F(LoginDialogTest, TypingANameFillsNothing)
{
    Put("[Users]\nkim=pw\n");
    auto dlg = Make();
    Show(*dlg);
    dlg->Password->clear();
    dlg->UserName->setEditText("");
    QTest::keyClicks(dlg->UserName->lineEdit(), "kim");
    EXPECT_EQ(dlg->UserNameText(), "kim");
    EXPECT_EQ(dlg->PasswordText(), "");
}

TEST_F(LoginDialogTest, EnterWithEmptyUserNameBeepsAndFocusesIt)
{
    auto dlg = Make();
    Show(*dlg);
    dlg->Password->setText("pw");
    dlg->Password->setFocus();
    QTest::keyClick(dlg->Password, Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(dlg->UserName->hasFocus());
}

TEST_F(LoginDialogTest, EnterWithEmptyPasswordBeepsAndFocusesIt)
{
    auto dlg = Make();
    Show(*dlg);
    QTest::keyClicks(dlg->UserName->lineEdit(), "kim");
    QTest::keyClick(dlg->UserName->lineEdit(), Qt::Key_Enter);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(dlg->Password->hasFocus());
    EXPECT_EQ(dlg->UserName->count(), 0) << "Enter must not add the typed name to the list";
}

TEST_F(LoginDialogTest, EnterInAnyFieldActsAsOk)
{
    auto dlg = Make();
    Show(*dlg);
    dlg->UserName->setEditText("kim");
    dlg->Password->setText("pw");
    QTest::keyClick(dlg->UserName->lineEdit(), Qt::Key_Return);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(beeps, 0);
}

TEST_F(LoginDialogTest, EscapeActsAsCancel)
{
    auto dlg = Make();
    Show(*dlg);
    dlg->UserName->setEditText("kim");
    dlg->Password->setText("pw");
    QTest::keyClick(dlg->Password, Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(LoginDialogTest, TabGoesFromUserNameToPassword)
{
    auto dlg = Make();
    Show(*dlg);
    EXPECT_TRUE(dlg->UserName->hasFocus());
    QTest::keyClick(dlg->UserName->lineEdit(), Qt::Key_Tab);
    EXPECT_TRUE(dlg->Password->hasFocus());
}

TEST_F(LoginDialogTest, PicturesAndLabelsAreClickTargets)
{
    auto dlg = Make();
    Show(*dlg);
    QTest::mouseClick(dlg->RememberLabel, Qt::LeftButton);
    EXPECT_TRUE(dlg->RememberChecked());
    QTest::mouseClick(dlg->RememberLabel, Qt::LeftButton);
    EXPECT_FALSE(dlg->RememberChecked());

    QTest::mouseClick(dlg->OkButton, Qt::LeftButton);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(beeps, 1);

    dlg->UserName->setEditText("kim");
    dlg->Password->setText("pw");
    QTest::mouseClick(dlg->OkButton, Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);

    Show(*dlg);
    QTest::mouseClick(dlg->CancelLabel, Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    Show(*dlg);
    dlg->setResult(QDialog::Accepted);
    QTest::mouseClick(dlg->CancelButton, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(LoginDialogTest, DialogKeepsItsTextsBetweenShows)
{
    auto dlg = Make();
    Show(*dlg);
    dlg->UserName->setEditText("kim");
    dlg->Password->setText("pw");
    dlg->reject();
    Show(*dlg);
    EXPECT_EQ(dlg->UserNameText(), "kim");
    EXPECT_EQ(dlg->PasswordText(), "pw");
}

} // namespace
