#pragma once

#include "framework/ascii_case.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

namespace pelisto {

class TBaseMultiLang;

// Events of a word table; the first argument is the table that calls them.
// allowIt starts true; setting it false vetoes the switch.
using TBeforeLanguageChange =
    std::function<void(TBaseMultiLang* sender, std::uint8_t newLanguage, bool& allowIt)>;
using TAfterLanguageChanged = std::function<void(TBaseMultiLang* sender, std::uint8_t newLanguage)>;
// res starts as the id itself; the handler may replace it.
using TIdNotFoundError =
    std::function<void(TBaseMultiLang* sender, const QString& id, QString& res)>;

// Qt fonts carry no character set, so a window keeps its own in this dynamic property (an int;
// 1, the default character set, when absent). The word table reads and writes it with the
// font's family.
inline constexpr const char* kCharSetProperty = "charSet";
int WindowCharSet(const QObject* window);
void SetWindowCharSet(QObject* window, int charSet);

// A window's word table: every user-visible text of the window's components in several
// languages, plus messages fetched by key.
//
// Words is a flat list read in records of Languages + 1 strings: the key, then one text per
// language. A key is a component name (matched ignoring ASCII case), "\"" (the next text of the
// component before it), "\".Hint" (that component's hint), "%Form%" (the window's caption) or
// anything else (a message for LookupWord).
//
// Every table registers itself process-wide while it lives, so SetGlobalLanguage reaches all of
// them.
class TBaseMultiLang : public QObject {
    Q_OBJECT

public:
    // The table belongs to owner (its QObject parent) and dies with it.
    explicit TBaseMultiLang(QWidget* owner);
    ~TBaseMultiLang() override;

    QWidget* Owner() const { return owner_; }

    std::uint8_t Languages() const { return languages_; }
    // Re-shapes every record to the new count; texts of added languages are "?". Languages
    // below 1 are refused with an Exception.
    void SetLanguages(std::uint8_t languages);

    std::uint8_t ActiveLanguage() const { return activeLanguage_; }
    // Switches to the language and applies every text (also when it is already active).
    void SetActiveLanguage(std::uint8_t language);

    std::uint8_t DefaultLanguage() const { return defaultLanguage_; }
    void SetDefaultLanguage(std::uint8_t language);
    bool DefaultEnabled() const { return defaultEnabled_; }
    void SetDefaultEnabled(bool enabled);

    const QStringList& Words() const { return words_; }
    void SetWords(const QStringList& words) { words_ = words; }
    // One "Face name,character set" line per language.
    const QStringList& CharSets() const { return charSets_; }
    void SetCharSets(const QStringList& charSets) { charSets_ = charSets; }

    // The text of the record keyed exactly id in the active language; a missing key comes back
    // unchanged unless IdNotFoundError replaces it.
    QString LookupWord(const QString& id);

    // The end of loading the owner's description: the table takes the global language (when it
    // has that many languages).
    Q_INVOKABLE void Loaded();

    TBeforeLanguageChange BeforeLanguageChange;
    TAfterLanguageChanged AfterLanguageChanged;
    TIdNotFoundError IdNotFoundError;

    // Hands component the records starting at index and moves index past the ones it took.
    virtual void ApplyWords(QObject* component, int& index) = 0;

protected:
    // The text of the record at index in the active language (the default language's when empty
    // and DefaultEnabled); advances index by one record. False, index unchanged, when the table
    // holds no such text.
    bool TakeText(int& index, QString& text) const;
    int RecordSize() const { return int(languages_) + 1; }
    bool IsContinuation(int index) const;
    bool IsHintRecord(int index) const;

private:
    void ShowTooHighBox() const;
    void SaveOwnerFont();
    void ApplyOwnerFont();
    void WalkTable();
    QObject* FindComponent(const QString& name) const;

    QPointer<QWidget> owner_;
    std::uint8_t languages_ = 2;
    std::uint8_t activeLanguage_ = 0;
    std::uint8_t defaultLanguage_ = 0;
    bool defaultEnabled_ = false;
    QStringList words_;
    QStringList charSets_;
};

// Process-wide: every live word table in creation order, and the global language (0 at start).
std::vector<TBaseMultiLang*> RegisteredWordTables();
std::uint8_t GlobalLanguage();
// Switches every registered table that has more than language languages, in registry order
// (the others are skipped silently), then makes language the global language.
void SetGlobalLanguage(std::uint8_t language);

} // namespace pelisto
