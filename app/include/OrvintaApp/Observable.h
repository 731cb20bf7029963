#pragma once

#include <QObject>

namespace Orvinta {

/// Stores `value` in `field` of `object`; emits `changed` only when the value
/// differs, so observers hear of real changes alone.
template <class Object, class T>
void assignNotifying(Object *object, T &field, const T &value, void (Object::*changed)()) {
    if (field == value)
        return;
    field = value;
    Q_EMIT(object->*changed)();
}

} // namespace Orvinta
