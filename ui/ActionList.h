#pragma once

// The window's commands by name. Menu items, tool buttons, shortcuts and buttons are all bound
// to these QActions, so suspending the list silences every way of starting a command at once.

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QWidget;

class TActionList : public QObject {
    Q_OBJECT
public:
    using THandler = std::function<void()>;

    // Errors of commands started by the user are shown in Owner's error display.
    explicit TActionList(QWidget* Owner);

    // Creates the action with Name as its objectName; a click runs Handler through the command
    // wrapper. An action without a handler does nothing yet.
    QAction* Add(const QString& Name, const QString& Caption, THandler Handler = {});
    // Binds Target, an action of this list, to Handler. Anything else is a programming error and
    // throws std::invalid_argument: a binding that silently went nowhere would leave a dead button.
    void SetHandler(QAction* Target, THandler Handler);
    // Null when there is no action of that name.
    QAction* Action(const QString& Name) const;
    // Every action of the list, in the order added, and whether a click on it runs anything.
    QList<QAction*> Actions() const { return Ordered; }
    bool HasHandler(QAction* Target) const { return HandlerOf(Target) != nullptr; }

    // Runs the action from code "as a click": only when it is enabled and the list is not
    // suspended. Errors pass to the caller, whose own command shows them. Returns whether the
    // handler ran.
    bool Execute(const QString& Name);
    bool Execute(QAction* Action);

    // Counted, so that guards nest.
    void Suspend() { ++SuspendCount; }
    void Resume();
    bool IsSuspended() const { return SuspendCount > 0; }

    class TSuspendGuard {
    public:
        explicit TSuspendGuard(TActionList& List) : List(List) { List.Suspend(); }
        ~TSuspendGuard() { List.Resume(); }
        TSuspendGuard(const TSuspendGuard&) = delete;
        TSuspendGuard& operator=(const TSuspendGuard&) = delete;

    private:
        TActionList& List;
    };

private:
    void Triggered(QAction* Action);
    const THandler* HandlerOf(QAction* Action) const;

    QWidget* Owner;
    QHash<QString, QAction*> ByName;
    QList<QAction*> Ordered;
    QHash<QAction*, THandler> Handlers;
    int SuspendCount = 0;
};
