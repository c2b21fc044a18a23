// Runs a function of the host's registry: one of this module's registered exports,
// the host's own ("application.GetIcon"), or another plug-in's ("nxTcpSock.Connect").
// Attaching a function fetches its argument prototype into m_ArgList and makes a
// return variable of its result type in m_RetVal; the caller fills the arguments by
// position, runs the function and reads the result from m_RetVal.
#pragma once

#include "module/plugin/CqVar.h"

class CqFunc : public CqVar {
public:
    CqFunc() = default;

    // Takes a function handle (never owned) and prepares the call.
    bool Attach(QHANDLE hFunc) override;
    // Registers the module's export lpFuncName with the host and attaches it.
    bool LoadFunc(const char* lpFuncName, std::uint32_t Code, QHANDLE hArgListPrototype);
    // Finds a registered function by its full name ("nxTcpSock.Connect") and attaches it.
    bool GetFunc(const char* lpFuncName);
    bool GetArgListPrototype(QHANDLE hArgList);
    // Runs the function on hArgList (0: m_ArgList); stores the return variable's
    // handle through phRetVal when given.
    bool Execute(QHANDLE hArgList = 0, QHANDLE* phRetVal = nullptr);
    // Runs the function; the handle of the variable holding the result, 0 on failure.
    QHANDLE ExecuteRet(QHANDLE hArgList = 0);

    CqList m_ArgList; // the argument prototype; the default argument list
    CqVar m_RetVal;   // owns the return variable after a successful attach
};
