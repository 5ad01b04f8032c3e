#pragma once

#include <memory>

#include <gtest/gtest.h>

#include "PhoneFileSource.h"
#include "ProvisioningServer.h"

namespace vocaset::test {

// A provisioning server on a free loopback port, its files built from the database the connection
// names, in English; options as given (a recorder, trusted proxies, ...).
inline std::unique_ptr<ProvisioningServer> serveDatabase(const QString& connection, RunLog& log,
                                                         ServerOptions options = {})
{
    options.port = 0;
    auto server = std::make_unique<ProvisioningServer>(
        options,
        [connection](int bound) { return std::make_unique<PhoneFileSource>(connection, QStringLiteral("EN"), bound); },
        log);
    QString error;
    EXPECT_TRUE(server->start(&error)) << error.toStdString();
    return server;
}

} // namespace vocaset::test
