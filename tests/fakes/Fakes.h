// Test doubles of every platform service, one header each, and the whole platform of them for all
// tests, which include this header. The fakes keep their state in plain members so a test can
// arrange it and look at it afterwards, and they append what they do to one shared journal, so a
// test can check the order of effects across services.
#pragma once
#include "agent/Agent.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeFileSystem.h"
#include "fakes/FakeHash.h"
#include "fakes/FakeLocale.h"
#include "fakes/FakeMessageBox.h"
#include "fakes/FakeProcess.h"
#include "fakes/FakeProfile.h"
#include "fakes/FakeRegistry.h"
#include "fakes/FakeShell.h"
#include "fakes/FakeSupport.h"
#include "fakes/FakeTransfer.h"
#include "fakes/FakeWindows.h"
#include "platform/Platform.h"

namespace orv::fakes {

// Thrown by FakeProcess::EndNow so a test can see the agent end without the test process ending.
struct ProcessEnded {};

// A whole platform of fakes, wired together, and the agent context on it.
struct FakePlatform {
    explicit FakePlatform(FakeLocale::Kind locale = FakeLocale::Kind::EnUs);
    Journal journal;
    FakeRegistry registry;
    FakeFileSystem files{journal};
    FakeProfile profile{files};
    FakeShell shell{journal};
    FakeMessageBox messageBox{journal};
    FakeWindowToolkit windows{journal};
    FakeTransferFactory transfer{journal};
    FakeClock clock{journal};
    FakeLocale locale;
    FakeProcess process{journal};
    FakeHash hash;
    platform::Platform platform;
    AgentContext ctx;
};

} // namespace orv::fakes
