#include "language/base_multi_lang.h"

#include "framework/application.h"
#include "framework/dialogs.h"
#include "framework/exceptions.h"

#include <QFont>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace pelisto {

namespace {

const QString kFormKey = QStringLiteral("%Form%");
const QString kContinuationKey = QStringLiteral("\"");
const QString kHintKey = QStringLiteral("\".hint");

std::vector<TBaseMultiLang*>& Registry() {
    static std::vector<TBaseMultiLang*> tables;
    return tables;
}

std::uint8_t& Global() {
    static std::uint8_t language = 0;
    return language;
}

// The number of a font line is read from at most this many characters.
constexpr qsizetype kMaxCharSetDigits = 999;

} // namespace

int WindowCharSet(const QObject* window) {
    if (window == nullptr) {
        return 1;
    }
    bool ok = false;
    const int value = window->property(kCharSetProperty).toInt(&ok);
    return ok ? value : 1;
}

void SetWindowCharSet(QObject* window, int charSet) {
    if (window != nullptr) {
        window->setProperty(kCharSetProperty, charSet);
    }
}

TBaseMultiLang::TBaseMultiLang(QWidget* owner) : QObject(owner), owner_(owner) {
    Registry().push_back(this);
}

TBaseMultiLang::~TBaseMultiLang() {
    auto& tables = Registry();
    tables.erase(std::remove(tables.begin(), tables.end(), this), tables.end());
}

void TBaseMultiLang::SetLanguages(std::uint8_t languages) {
    if (languages < 1) {
        throw Exception(QStringLiteral("A word table needs at least one language"));
    }
    if (languages == languages_) {
        return;
    }
    QStringList reshaped;
    const qsizetype oldSize = RecordSize();
    for (qsizetype r = 0; r < words_.size(); r += oldSize) {
        reshaped << words_[r];
        for (int k = 0; k < languages; ++k) {
            const qsizetype at = r + 1 + k;
            const bool kept = k < languages_ && at < words_.size();
            reshaped << (kept ? words_[at] : QStringLiteral("?"));
        }
    }
    words_ = reshaped;
    languages_ = languages;
    // Indexes must stay valid for the smaller table; font lines follow the languages.
    activeLanguage_ = std::min<std::uint8_t>(activeLanguage_, languages_ - 1);
    defaultLanguage_ = std::min<std::uint8_t>(defaultLanguage_, languages_ - 1);
    while (charSets_.size() > languages_) {
        charSets_.removeLast();
    }
}

void TBaseMultiLang::SetActiveLanguage(std::uint8_t language) {
    if (language >= languages_) {
        ShowTooHighBox();
        return;
    }
    bool allowIt = true;
    if (BeforeLanguageChange) {
        BeforeLanguageChange(this, language, allowIt);
    }
    if (!allowIt) {
        return;
    }
    SaveOwnerFont();
    activeLanguage_ = language;
    ApplyOwnerFont();
    WalkTable();
    if (AfterLanguageChanged) {
        AfterLanguageChanged(this, language);
    }
}

void TBaseMultiLang::SetDefaultLanguage(std::uint8_t language) {
    if (language >= languages_) {
        ShowTooHighBox();
        return;
    }
    defaultLanguage_ = language;
    SetActiveLanguage(activeLanguage_);
}

void TBaseMultiLang::SetDefaultEnabled(bool enabled) {
    defaultEnabled_ = enabled;
    SetActiveLanguage(activeLanguage_);
}

QString TBaseMultiLang::LookupWord(const QString& id) {
    for (int i = 0; words_.size() > qsizetype(i) + languages_; i += RecordSize()) {
        if (words_[i] == id) {
            QString text;
            TakeText(i, text);
            return text;
        }
    }
    QString res = id;
    if (IdNotFoundError) {
        IdNotFoundError(this, id, res);
    }
    return res;
}

void TBaseMultiLang::Loaded() {
    // A table with fewer languages keeps its own, as SetGlobalLanguage would leave it.
    const std::uint8_t language = GlobalLanguage();
    if (language < languages_) {
        SetActiveLanguage(language);
    }
}

bool TBaseMultiLang::TakeText(int& index, QString& text) const {
    if (index < 0) {
        return false;
    }
    const qsizetype at = qsizetype(index) + activeLanguage_ + 1;
    if (at >= words_.size()) {
        return false;
    }
    text = words_[at];
    if (text.isEmpty() && defaultEnabled_) {
        const qsizetype fallback = qsizetype(index) + defaultLanguage_ + 1;
        if (fallback < words_.size()) {
            text = words_[fallback];
        }
    }
    index += RecordSize();
    return true;
}

bool TBaseMultiLang::IsContinuation(int index) const {
    return index >= 0 && index < words_.size() && words_[index] == kContinuationKey;
}

bool TBaseMultiLang::IsHintRecord(int index) const {
    return index >= 0 && index < words_.size() && AsciiLower(words_[index]) == kHintKey;
}

void TBaseMultiLang::ShowTooHighBox() const {
    MessageBox(QStringLiteral("Value must not be higher than\rnumber of available languages."),
               ApplicationTitle(), MsgBoxIcon::Information, mbCancel);
}

void TBaseMultiLang::SaveOwnerFont() {
    if (!owner_) {
        return;
    }
    const QString family = owner_->font().family();
    if (family.isEmpty()) {
        return;
    }
    const QString line = family + QLatin1Char(',') + QString::number(WindowCharSet(owner_));
    while (charSets_.size() < languages_) {
        charSets_.append(line);
    }
    charSets_[activeLanguage_] = line;
}

void TBaseMultiLang::ApplyOwnerFont() {
    if (!owner_ || activeLanguage_ >= charSets_.size()) {
        return;
    }
    const QString& line = charSets_[activeLanguage_];
    const qsizetype comma = line.indexOf(QLatin1Char(','));
    if (comma < 0) {
        return;
    }
    bool ok = false;
    const int charSet = line.mid(comma + 1, kMaxCharSetDigits).trimmed().toInt(&ok);
    if (!ok) {
        // A malformed line leaves the font alone rather than stopping the switch halfway.
        return;
    }
    const QString face = line.left(comma);
    if (!face.isEmpty() && owner_->font().family() != face) {
        // Only the family changes; children with a font of their own keep it.
        QFont font = owner_->font();
        font.setFamily(face);
        owner_->setFont(font);
    }
    SetWindowCharSet(owner_, charSet);
}

QObject* TBaseMultiLang::FindComponent(const QString& name) const {
    if (!owner_ || name.isEmpty()) {
        return nullptr;
    }
    const auto components = owner_->findChildren<QObject*>();
    for (QObject* component : components) {
        if (AsciiSameIgnoringCase(component->objectName(), name)) {
            return component;
        }
    }
    return nullptr;
}

void TBaseMultiLang::WalkTable() {
    const int step = RecordSize();
    int i = 0;
    try {
        while (i < words_.size()) {
            const int start = i;
            const QString key = words_[i];
            if (key == kFormKey) {
                QString text;
                if (owner_ && TakeText(i, text)) {
                    owner_->setWindowTitle(text);
                }
                i = start + step;
                continue;
            }
            QObject* component = FindComponent(key);
            if (component != nullptr) {
                try {
                    ApplyWords(component, i);
                } catch (...) {
                    // One component's failure must not cost the others their texts: go on
                    // after the records it had taken.
                }
            }
            // A component that took nothing (or went backwards) must not meet its record again.
            if (i <= start) {
                i = start + step;
            }
        }
    } catch (...) {
        // Reading the table itself failed: the texts applied so far stay.
    }
}

std::vector<TBaseMultiLang*> RegisteredWordTables() {
    return Registry();
}

std::uint8_t GlobalLanguage() {
    return Global();
}

void SetGlobalLanguage(std::uint8_t language) {
    // A switch may run handlers that destroy tables; only live ones are switched.
    std::vector<QPointer<TBaseMultiLang>> tables;
    for (TBaseMultiLang* table : Registry()) {
        tables.emplace_back(table);
    }
    for (const auto& table : tables) {
        if (table && language < table->Languages()) {
            table->SetActiveLanguage(language);
        }
    }
    Global() = language;
}

} // namespace pelisto
