// Running functions of the host's registry: attaching a function prepares its
// argument list from the prototype and a return variable of its result type.
#include "module/plugin/CqFunc.h"

#include "module/plugin/CExtAPI.h"

bool CqFunc::Attach(QHANDLE hFunc) {
    if (!CqVar::Attach(hFunc)) return false;
    // A handle that is not a usable function is given back to the host.
    if (!IsType(TYPEID_FUNC) || !GetArgListPrototype(m_ArgList.GetHandle())) {
        Free();
        return false;
    }
    m_RetVal.Free();
    return m_RetVal.Create(g_ExtAPI.qrvfunc_GetReturnTypeID(hFunc));
}

bool CqFunc::LoadFunc(const char* lpFuncName, std::uint32_t Code, QHANDLE hArgListPrototype) {
    return Attach(g_ExtAPI.qrvfunc_LoadFunc(lpFuncName, Code, hArgListPrototype));
}

bool CqFunc::GetFunc(const char* lpFuncName) {
    return Attach(g_ExtAPI.qrvfunc_GetFunc(lpFuncName));
}

bool CqFunc::GetArgListPrototype(QHANDLE hArgList) {
    return m_hVar != 0 && g_ExtAPI.qrvfunc_GetArgListPrototype(m_hVar, hArgList);
}

bool CqFunc::Execute(QHANDLE hArgList, QHANDLE* phRetVal) {
    if (m_hVar == 0) return false;
    const QHANDLE args = hArgList != 0 ? hArgList : m_ArgList.GetHandle();
    QHANDLE retVal = m_RetVal.GetHandle();
    if (!g_ExtAPI.qrvfunc_Execute2(m_hVar, args, &retVal)) return false;
    if (phRetVal != nullptr) *phRetVal = retVal;
    return true;
}

QHANDLE CqFunc::ExecuteRet(QHANDLE hArgList) {
    QHANDLE retVal = 0;
    return Execute(hArgList, &retVal) ? retVal : 0;
}
