#include "language_test_support.h"

#include "framework/exceptions.h"

using namespace pelisto;
using pelisto::testing::WordTableTest;

namespace {

class LookupWord : public WordTableTest {
protected:
    void SetUp() override {
        WordTableTest::SetUp();
        table->SetWords({"@1", "un", "one", //
                         "@2", "", "two",   //
                         "@3", "trois", "", //
                         "Button1", "Bouton", "Button"});
    }
};

TEST_F(LookupWord, ReturnsTheActiveLanguagesText) {
    EXPECT_EQ(table->LookupWord("@1"), "un");
    table->SetActiveLanguage(1);
    EXPECT_EQ(table->LookupWord("@1"), "one");
    // Component records can be looked up too.
    EXPECT_EQ(table->LookupWord("Button1"), "Button");
}

TEST_F(LookupWord, MissingOrWrongCaseKeysComeBackUnchanged) {
    EXPECT_EQ(table->LookupWord("@9"), "@9");
    EXPECT_EQ(table->LookupWord("button1"), "button1");
    EXPECT_EQ(table->LookupWord(""), "");
    // A text is never taken for a key.
    EXPECT_EQ(table->LookupWord("un"), "un");
}

TEST_F(LookupWord, IdNotFoundErrorCanReplaceTheResult) {
    QStringList seen;
    table->IdNotFoundError = [&](TBaseMultiLang* sender, const QString& id, QString& res) {
        EXPECT_EQ(sender, table);
        EXPECT_EQ(res, id);
        seen << id;
        res = "<" + id + ">";
    };
    EXPECT_EQ(table->LookupWord("@7"), "<@7>");
    EXPECT_EQ(table->LookupWord("@1"), "un");
    EXPECT_EQ(seen, QStringList{"@7"});
}

TEST_F(LookupWord, EmptyTextsFallBackOnlyWhenDefaultIsEnabled) {
    EXPECT_EQ(table->LookupWord("@2"), "");
    table->SetDefaultLanguage(1);
    EXPECT_EQ(table->LookupWord("@2"), "");
    table->SetDefaultEnabled(true);
    EXPECT_EQ(table->LookupWord("@2"), "two");
    table->SetActiveLanguage(1);
    table->SetDefaultLanguage(0);
    EXPECT_EQ(table->LookupWord("@3"), "trois");
}

TEST_F(LookupWord, ATruncatedLastRecordIsNotMatched) {
    table->SetWords({"@1", "un", "one", "@2", "deux"});
    EXPECT_EQ(table->LookupWord("@2"), "@2");
}

TEST_F(WordTableTest, ReshapingKeepsKeysAndTextsAndFillsNewLanguages) {
    table->SetWords({"@1", "un", "one", "@2", "deux", "two"});
    table->SetLanguages(3);
    EXPECT_EQ(table->Words(), (QStringList{"@1", "un", "one", "?", "@2", "deux", "two", "?"}));
    table->SetActiveLanguage(2);
    EXPECT_EQ(table->LookupWord("@2"), "?");

    table->SetLanguages(1);
    EXPECT_EQ(table->Words(), (QStringList{"@1", "un", "@2", "deux"}));
    EXPECT_EQ(table->ActiveLanguage(), 0);
    EXPECT_EQ(table->LookupWord("@2"), "deux");

    EXPECT_THROW(table->SetLanguages(0), Exception);
    EXPECT_EQ(table->Languages(), 1);
}

} // namespace
