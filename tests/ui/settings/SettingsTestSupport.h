#pragma once

#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/PreferencesStore.h>

#include <QObject>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>

#include <map>

namespace Orvinta::Testing {

/// The shortcut service as the recorder fields see it: what was set and
/// whether the shortcuts are suspended.
class RecordingHotkeys : public HotkeyService {
public:
    explicit RecordingHotkeys(std::shared_ptr<PreferencesStore> store = {})
        : m_store(std::move(store)) {}
    void setActions(HotkeyActions) override {}
    void setFailureHandler(FailureHandler) override {}
    void start() override {}
    KeyCombo combo(HotkeyAction action) const override {
        const auto found = combos.find(action);
        return found == combos.end() ? defaultCombo(action) : found->second;
    }
    bool isRegistered(HotkeyAction) const override { return !suspended; }
    void setCombo(HotkeyAction action, const KeyCombo &combo) override {
        combos[action] = combo;
        if (m_store)
            m_store->setData(comboPreferenceKey(action), combo.toJson());
        ++registrations;
    }
    void setSuspended(bool value) override { suspended = value; }

    std::map<HotkeyAction, KeyCombo> combos;
    bool suspended = false;
    int registrations = 0;

private:
    std::shared_ptr<PreferencesStore> m_store;
};

/// Every item of the window's visual tree (delegates included, which are
/// not QObject children of the window).
inline QList<QQuickItem *> allItems(QObject *root) {
    QList<QQuickItem *> items;
    QList<QQuickItem *> pending;
    if (auto *window = qobject_cast<QQuickWindow *>(root))
        pending << window->contentItem();
    else if (auto *item = qobject_cast<QQuickItem *>(root))
        pending << item;
    while (!pending.isEmpty()) {
        QQuickItem *item = pending.takeFirst();
        items << item;
        pending << item->childItems();
    }
    return items;
}

/// The first item below `root` with `name` as its object name.
inline QQuickItem *itemNamed(QObject *root, const QString &name) {
    for (QQuickItem *item : allItems(root))
        if (item->objectName() == name)
            return item;
    return nullptr;
}

/// All items below `root` with `name` as their object name.
inline QList<QQuickItem *> itemsNamed(QObject *root, const QString &name) {
    QList<QQuickItem *> found;
    for (QQuickItem *item : allItems(root))
        if (item->objectName() == name)
            found << item;
    return found;
}

/// Whether the item and all its parents are visible.
inline bool shown(QQuickItem *item) {
    return item && item->isVisible();
}

/// The texts of every visible item, for finding what a view says.
inline QStringList visibleTexts(QObject *root) {
    QStringList texts;
    for (QQuickItem *item : allItems(root))
        if (item->isVisible())
            if (const QVariant text = item->property("text"); text.isValid())
                texts << text.toString();
    return texts;
}

} // namespace Orvinta::Testing
