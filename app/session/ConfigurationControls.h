#pragma once

#include <QString>

#include <functional>
#include <map>

class QCheckBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tarvik {

// The controls the configuration pages are made of, each labelled through L.
// Text fields and checkboxes are kept under their identifiers: the page's
// values travel back to the profile by identifier and by nothing else.
class ConfigurationControls {
  public:
    // Called when a text field's editing ends and when a checkbox is clicked.
    std::function<void()> onTextEdited;
    std::function<void()> onCheckChanged;

    // Forgets the controls of the previous page.
    void clear();

    // A label over an editable text field holding value.
    QWidget* labeled(const QString& label, const QString& id, const QString& value);
    QCheckBox* checkbox(const QString& title, const QString& id, bool value);
    // A bare text field, registered like the labelled ones.
    QLineEdit* field(const QString& id, const QString& value);

    static QPushButton* button(const QString& title, std::function<void()> action);
    // A caption over a bordered frame holding content.
    static QWidget* box(const QString& title, QLayout* content);
    // A wrapping, smaller, dimmed explanation.
    static QLabel* note(const QString& text);
    static QLabel* label(const QString& text);

    QLineEdit* fieldFor(const QString& id) const;
    QCheckBox* checkFor(const QString& id) const;
    const std::map<QString, QLineEdit*>& fields() const { return fields_; }
    const std::map<QString, QCheckBox*>& checks() const { return checks_; }

  private:
    std::map<QString, QLineEdit*> fields_;
    std::map<QString, QCheckBox*> checks_;
};

} // namespace tarvik
