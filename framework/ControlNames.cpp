#include "framework/ControlNames.h"

#include <QLabel>

namespace quillon {

void LabelField(QLabel* label, QWidget* field) {
    label->setBuddy(field);
    // A drop-down list on Linux reports its current entry as its name and its label only
    // through the buddy relation; elsewhere this name is what is read.
    field->setAccessibleName(label->text());
}

void NameLine(QLabel* line, const QString& name) {
    line->setAccessibleName(name);
    line->setAccessibleDescription(line->text());
}

}  // namespace quillon
