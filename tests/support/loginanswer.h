#pragma once

#include "dialogs/logindialog.h"
#include "shell/sessioncontroller.h"
#include "tests/support/privateserver.h"

// The login dialogs the session asks next are answered with the private
// server's administrator account.
inline void AnswerLoginAsAdministrator(SessionController &session)
{
    session.runLoginDialog = [](TFormLogin *dialog) {
        dialog->setUser(PrivateServer::user());
        dialog->setPassword(PrivateServer::password());
        return int(TFormLogin::Login);
    };
}
