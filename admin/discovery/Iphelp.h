#pragma once
// The computer's interface list and the host routes and static neighbour
// entries that the program puts into the system tables for its servers.
// Process-wide; user-interface thread only. Failures are results (false),
// never exceptions.
#include "admin/routehelper/routeProtocol.h"

#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

struct tIPNODE {
    QString Address; // dotted IPv4 address of the interface
    QString Description; // the interface's name, or its alias when set
    int32_t InterfaceType = 0; // 6 Ethernet, 24 software loopback, ...
    int32_t OperStatus = 0; // 5 operational
};

struct tROUTENODE {
    QString LocalAddress; // local interface through which the server is reached
    QString Address; // the server, the route's destination
    QString MacAddress; // "%02X-..." or empty when no neighbour entry was made
};

// Created by LoadLocalInterfaces, released by ReleaseLocalInterfaces.
extern QList<tIPNODE>* LocalInterfaces;
extern QList<tROUTENODE>* HostRoutes;

void LoadLocalInterfaces();
void ReleaseLocalInterfaces();
bool AddHostRoute(const QString& localAddress, const QString& serverAddress, const QString& macAddress);
bool RemoveHostRoute(const QString& serverAddress);
bool RemoveAllHostRoutes();

// Six bytes from exactly "XX-XX-XX-XX-XX-XX" (hex digits of either case).
std::optional<std::array<uint8_t, 6>> ParseMacAddress(const QString& text);

// Why the latest table operation behind these calls failed, for logs; empty
// after a success. AddHostRoute succeeds whatever the system said, so its
// refusals show only here.
QString IphelpLastError();
// The same as a code (routehelper::ReasonText gives its fixed text); Ok
// after a success.
routehelper::TReason IphelpLastReason();

// Why host routes and neighbour entries can't be written (the helper that
// writes them is missing, may not be run by this user, or lacks its right),
// for a hint to the operator; empty when they can, and before the load.
QString HostRouteProblem();
