#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <sys/types.h>

// Starting a program that nobody waits for.
namespace DetachedProcess {

// Runs `program` with `arguments` after the program path, in a session and process group of its
// own, with an empty signal mask, every signal at its default action and no descriptor but the
// standard three, and the environment of this process less `withoutVariables`. Returns once the program runs
// (exec has succeeded); nullopt when it could not be started. The ended child is reaped from the event loop,
// so no zombie is left behind.
[[nodiscard]] std::optional<pid_t> start(const QString& program, const QStringList& arguments,
                                         const QStringList& withoutVariables = {});

} // namespace DetachedProcess
