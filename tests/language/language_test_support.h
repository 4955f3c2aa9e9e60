#pragma once

#include "language/multi_lang.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace pelisto::testing {

// A window owning one two-language word table. Every test starts and ends with global language
// 0 and an empty registry, since both are process-wide.
class WordTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RegisteredWordTables().empty());
        SetGlobalLanguage(0);
        window = std::make_unique<QWidget>();
        window->setObjectName(QStringLiteral("Form1"));
        table = new TMultiLang(window.get());
        table->setObjectName(QStringLiteral("MultiLang1"));
    }
    void TearDown() override {
        window.reset();
        SetGlobalLanguage(0);
        EXPECT_TRUE(RegisteredWordTables().empty());
    }

    template <typename T> T* Add(const char* name, QWidget* parent = nullptr) {
        auto* object = new T(parent != nullptr ? parent : window.get());
        object->setObjectName(QString::fromLatin1(name));
        return object;
    }

    std::unique_ptr<QWidget> window;
    TMultiLang* table = nullptr;
};

} // namespace pelisto::testing
