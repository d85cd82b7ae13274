#pragma once

#include <QMessageBox>
#include <QString>

namespace morra {

// Fills a message box as the window's alerts look: the window's title, `heading` as its text and
// `message` under it, selectable. The box is wide enough that the window manager shows its title
// and short sentences do not wrap. A message of more lines than fit an alert is summed up in its
// first sentences, with the whole text in the box's details, open and scrollable.
void prepareAlert(QMessageBox& box, const QString& heading, const QString& message, QMessageBox::Icon icon);

}  // namespace morra
