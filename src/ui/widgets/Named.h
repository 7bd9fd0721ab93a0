#pragma once
// Widgets carry the object names the window's behaviour and its tests find them by.

#include <QObject>
#include <QString>

namespace tq::ui {

// Gives w its object name and hands it back, so a widget is made and named in one line.
template <typename W> W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace tq::ui
