#pragma once
// Accessible names: what a screen reader (or any UI automation) calls each control. A
// field is named by the label a user reads beside it; a control without a label of its
// own gets a name from the text table; none of this changes what the window shows.

class QLabel;
class QString;
class QWidget;

namespace quillon {

// Makes `label` the field's buddy and names the field with the label's text.
void LabelField(QLabel* label, QWidget* field);
// Names a line whose text changes (a path, a state, a counter) by what it shows; its
// current text is its description (CDialog::SetItemText keeps that up to date).
void NameLine(QLabel* line, const QString& name);

}  // namespace quillon
