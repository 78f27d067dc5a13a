#include "ui/ActionList.h"

#include "ui/Command.h"

#include <QAction>
#include <QWidget>

#include <stdexcept>

TActionList::TActionList(QWidget* Owner) : QObject(Owner), Owner(Owner) {}

QAction* TActionList::Add(const QString& Name, const QString& Caption, THandler Handler) {
    auto* NewAction = new QAction(Caption, Owner);
    NewAction->setObjectName(Name);
    ByName.insert(Name, NewAction);
    Ordered.append(NewAction);
    if (Handler)
        Handlers.insert(NewAction, std::move(Handler));
    connect(NewAction, &QAction::triggered, this, [this, NewAction] { Triggered(NewAction); });
    return NewAction;
}

void TActionList::SetHandler(QAction* Target, THandler Handler) {
    if (!Target || !Ordered.contains(Target))
        throw std::invalid_argument("SetHandler: not an action of this list");
    if (!Handler)
        throw std::invalid_argument("SetHandler: no handler for " +
                                    Target->objectName().toStdString());
    Handlers.insert(Target, std::move(Handler));
}

QAction* TActionList::Action(const QString& Name) const {
    return ByName.value(Name, nullptr);
}

bool TActionList::Execute(const QString& Name) {
    return Execute(Action(Name));
}

bool TActionList::Execute(QAction* Target) {
    if (!Target || !Target->isEnabled() || IsSuspended())
        return false;
    const THandler* Handler = HandlerOf(Target);
    if (!Handler)
        return false;
    // A copy, so that a handler which rebinds its own action still runs to its end.
    const THandler Run = *Handler;
    Run();
    return true;
}

void TActionList::Resume() {
    if (SuspendCount > 0)
        --SuspendCount;
}

void TActionList::Triggered(QAction* Target) {
    // Qt only triggers enabled actions; suspension is ours to check.
    if (IsSuspended())
        return;
    const THandler* Handler = HandlerOf(Target);
    if (!Handler)
        return;
    const THandler Run = *Handler;
    RunCommand(Owner, Run);
}

const TActionList::THandler* TActionList::HandlerOf(QAction* Target) const {
    const auto Found = Handlers.constFind(Target);
    return Found == Handlers.constEnd() ? nullptr : &Found.value();
}
