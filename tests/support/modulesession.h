#pragma once

#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"

#include <memory>

// A data module on headless views whose profile names the private server,
// with its administrator's account unless another is given.
struct ModuleSession : HeadlessViews
{
    explicit ModuleSession(const QString &user = PrivateServer::user(),
                           const QString &password = PrivateServer::password())
        : HeadlessViews(PrivateServer::shared().host(), QString::number(PrivateServer::shared().port()), user,
                        password)
    {
        module = std::make_unique<TDMstd>(views);
    }

    std::unique_ptr<TDMstd> module;
};
