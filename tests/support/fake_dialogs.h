#pragma once

#include "framework/dialogs.h"

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace pelisto::testing {

// Answers every box and file dialog from queues instead of a modal loop, and keeps what was
// asked. Install it for a test's lifetime with ScopedFakeDialogs.
class FakeDialogs final : public DialogProvider {
public:
    std::vector<MessageBoxRequest> boxes;
    std::vector<OpenDialogRequest> opens;
    std::vector<SaveDialogRequest> saves;
    std::deque<int> boxAnswers;                         // default: the box's default button
    std::deque<std::optional<QStringList>> openAnswers; // default: cancelled
    std::deque<std::optional<QString>> saveAnswers;     // default: cancelled
    std::deque<int> saveTypes; // file type chosen with each save answer; default: the first shown
    std::vector<PasswordRequest> passwords;
    std::deque<std::optional<PasswordAnswer>> passwordAnswers; // default: cancelled
    std::vector<FolderDialogRequest> folders;
    std::deque<std::optional<QString>> folderAnswers; // default: cancelled
    std::vector<TextRequest> texts;
    std::deque<std::optional<QString>> textAnswers; // default: cancelled


    int messageBox(const MessageBoxRequest& request) override {
        boxes.push_back(request);
        if (boxAnswers.empty()) {
            return request.defaultResult;
        }
        const int answer = boxAnswers.front();
        boxAnswers.pop_front();
        return answer;
    }
    std::optional<QStringList> openFiles(const OpenDialogRequest& request) override {
        opens.push_back(request);
        if (openAnswers.empty()) {
            return std::nullopt;
        }
        std::optional<QStringList> answer;
        answer.swap(openAnswers.front());
        openAnswers.pop_front();
        return answer;
    }
    std::optional<QString> saveFile(const SaveDialogRequest& request) override {
        saves.push_back(request);
        if (saveAnswers.empty()) {
            return std::nullopt;
        }
        std::optional<QString> answer;
        answer.swap(saveAnswers.front());
        saveAnswers.pop_front();
        return answer;
    }
    std::optional<PasswordAnswer> askPassword(const PasswordRequest& request) override {
        passwords.push_back(request);
        if (passwordAnswers.empty()) {
            return std::nullopt;
        }
        std::optional<PasswordAnswer> answer;
        answer.swap(passwordAnswers.front());
        passwordAnswers.pop_front();
        return answer;
    }
    std::optional<QString> chooseFolder(const FolderDialogRequest& request) override {
        folders.push_back(request);
        if (folderAnswers.empty()) {
            return std::nullopt;
        }
        std::optional<QString> answer;
        answer.swap(folderAnswers.front());
        folderAnswers.pop_front();
        return answer;
    }

    std::optional<QString> askText(const TextRequest& request) override {
        texts.push_back(request);
        if (textAnswers.empty()) {
            return std::nullopt;
        }
        std::optional<QString> answer;
        answer.swap(textAnswers.front());
        textAnswers.pop_front();
        return answer;
    }

    std::optional<SaveDialogAnswer> saveFileAndType(const SaveDialogRequest& request) override {
        auto file = saveFile(request);
        int type = request.filterIndex;
        if (!saveTypes.empty()) {
            type = saveTypes.front();
            saveTypes.pop_front();
        }
        if (!file) {
            return std::nullopt;
        }
        return SaveDialogAnswer{*file, type};
    }
};

class ScopedFakeDialogs {
public:
    ScopedFakeDialogs() {
        auto fake = std::make_unique<FakeDialogs>();
        fake_ = fake.get();
        previous_ = SetDialogProvider(std::move(fake));
    }
    ~ScopedFakeDialogs() { SetDialogProvider(std::move(previous_)); }
    FakeDialogs* operator->() { return fake_; }
    FakeDialogs& operator*() { return *fake_; }

private:
    FakeDialogs* fake_;
    std::unique_ptr<DialogProvider> previous_;
};

} // namespace pelisto::testing
