#include "app/window_translator.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QWidget>
#include <functional>

#include "app/translate.h"

namespace velmora::app {
namespace {

// Remembers the design value under key on first sight and returns it.
QString Design(QObject* o, const char* key, const QString& current) {
    QVariant v = o->property(key);
    if (v.isValid()) return v.toString();
    o->setProperty(key, current);
    return current;
}

QStringList DesignList(QObject* o, const char* key, const QStringList& current) {
    QVariant v = o->property(key);
    if (v.isValid()) return v.toStringList();
    o->setProperty(key, current);
    return current;
}

QString TrDesign(const QString& text) {
    return text.trimmed().isEmpty() ? text : TrQ(text);
}

void TranslateText(QObject* o, const char* key, const QString& current,
                   const std::function<void(const QString&)>& set) {
    QString design = Design(o, key, current);
    if (!design.isEmpty()) set(TrDesign(design));
}

void TranslateAction(QAction* a) {
    TranslateText(a, "designText", a->text(), [a](const QString& t) { a->setText(t); });
    TranslateText(a, "designToolTip", a->toolTip(), [a](const QString& t) { a->setToolTip(t); });
}

void TranslateWidget(QWidget* w) {
    if (w->isWindow())
        TranslateText(w, "designWindowTitle", w->windowTitle(),
                      [w](const QString& t) { w->setWindowTitle(t); });
    TranslateText(w, "designToolTip", w->toolTip(), [w](const QString& t) { w->setToolTip(t); });

    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        TranslateText(b, "designText", b->text(), [b](const QString& t) { b->setText(t); });
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        TranslateText(l, "designText", l->text(), [l](const QString& t) {
            if (l->property("linkLabel").toBool())
                SetLinkLabelText(l, t);
            else
                l->setText(t);
        });
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        TranslateText(g, "designText", g->title(), [g](const QString& t) { g->setTitle(t); });
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        TranslateText(e, "designPlaceholder", e->placeholderText(),
                      [e](const QString& t) { e->setPlaceholderText(t); });
    } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        QStringList current;
        for (int i = 0; i < tabs->count(); ++i) current << tabs->tabText(i);
        QStringList design = DesignList(tabs, "designTabTexts", current);
        for (int i = 0; i < tabs->count() && i < design.size(); ++i)
            tabs->setTabText(i, TrDesign(design[i]));
    } else if (auto* table = qobject_cast<QTableWidget*>(w)) {
        QStringList current;
        for (int c = 0; c < table->columnCount(); ++c) {
            auto* item = table->horizontalHeaderItem(c);
            current << (item ? item->text() : QString());
        }
        QStringList design = DesignList(table, "designColumns", current);
        for (int c = 0; c < table->columnCount() && c < design.size(); ++c)
            if (auto* item = table->horizontalHeaderItem(c)) item->setText(TrDesign(design[c]));
    } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
        QTreeWidgetItem* header = tree->headerItem();
        QStringList current;
        for (int c = 0; c < tree->columnCount(); ++c) current << header->text(c);
        QStringList design = DesignList(tree, "designColumns", current);
        for (int c = 0; c < tree->columnCount() && c < design.size(); ++c)
            header->setText(c, TrDesign(design[c]));
    } else if (auto* menu = qobject_cast<QMenu*>(w)) {
        TranslateText(menu, "designTitle", menu->title(),
                      [menu](const QString& t) { menu->setTitle(t); });
    }
    for (QAction* a : w->actions()) TranslateAction(a);
}

}  // namespace

void SetLinkLabelText(QLabel* label, const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("<a>"), QStringLiteral("<a href=\"#\">"));
    label->setText(shown);
}

bool TWindowTranslator::IsExcluded(const QWidget* w, const QWidget* root) const {
    for (const QWidget* p = w; p; p = p->parentWidget()) {
        if (FExcluded.contains(p->objectName())) return true;
        if (p == root) break;
    }
    return false;
}

void TWindowTranslator::TranslateComponent(QWidget* root) const {
    if (!root || IsExcluded(root, root)) return;
    TranslateWidget(root);
    for (QWidget* w : root->findChildren<QWidget*>())
        if (!IsExcluded(w, root)) TranslateWidget(w);
}

}  // namespace velmora::app
