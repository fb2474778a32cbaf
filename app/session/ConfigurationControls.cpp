#include "app/session/ConfigurationControls.h"

#include "app/settings/Localization.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvik {

void ConfigurationControls::clear() {
    fields_.clear();
    checks_.clear();
}

QLineEdit* ConfigurationControls::field(const QString& id, const QString& value) {
    auto* edit = new QLineEdit(value);
    edit->setObjectName(id);
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [this] {
        if (onTextEdited)
            onTextEdited();
    });
    fields_[id] = edit;
    return edit;
}

QWidget* ConfigurationControls::labeled(const QString& title, const QString& id, const QString& value) {
    auto* group = new QWidget;
    auto* column = new QVBoxLayout(group);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(5);
    QLabel* caption = label(title);
    QLineEdit* edit = field(id, value);
    caption->setBuddy(edit);
    column->addWidget(caption);
    column->addWidget(edit);
    return group;
}

QCheckBox* ConfigurationControls::checkbox(const QString& title, const QString& id, bool value) {
    auto* check = new QCheckBox(L(title));
    check->setObjectName(id);
    check->setChecked(value);
    QObject::connect(check, &QCheckBox::clicked, check, [this] {
        if (onCheckChanged)
            onCheckChanged();
    });
    checks_[id] = check;
    return check;
}

QPushButton* ConfigurationControls::button(const QString& title, std::function<void()> action) {
    auto* push = new QPushButton(L(title));
    push->setObjectName(title);
    push->setAutoDefault(false);
    QObject::connect(push, &QPushButton::clicked, push, [action = std::move(action)] { action(); });
    return push;
}

QWidget* ConfigurationControls::box(const QString& title, QLayout* content) {
    auto* group = new QWidget;
    auto* column = new QVBoxLayout(group);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(label(title));
    auto* frame = new QFrame;
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Plain);
    content->setContentsMargins(10, 10, 10, 10);
    frame->setLayout(content);
    column->addWidget(frame);
    return group;
}

QLabel* ConfigurationControls::note(const QString& text) {
    auto* explanation = new QLabel(L(text));
    explanation->setWordWrap(true);
    QFont smaller = explanation->font();
    smaller.setPointSizeF(smaller.pointSizeF() * 0.9);
    explanation->setFont(smaller);
    explanation->setForegroundRole(QPalette::PlaceholderText);
    return explanation;
}

QLabel* ConfigurationControls::label(const QString& text) {
    return new QLabel(L(text));
}

QLineEdit* ConfigurationControls::fieldFor(const QString& id) const {
    const auto found = fields_.find(id);
    return found == fields_.end() ? nullptr : found->second;
}

QCheckBox* ConfigurationControls::checkFor(const QString& id) const {
    const auto found = checks_.find(id);
    return found == checks_.end() ? nullptr : found->second;
}

} // namespace tarvik
