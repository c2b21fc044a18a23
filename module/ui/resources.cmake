# The module's resource script, Volubra.rc, compiled once by windres for both builds.
# Windows: the compiled resources go into Volubra.qrv (and, through
# volubra_resources, into the test executables that create the module's windows).
# Native: the RT_DIALOG entries of the compiled .res are embedded as C++ arrays, so
# the headless dialogs are built from the very templates that ship.
set(VOLUBRA_RC ${CMAKE_CURRENT_LIST_DIR}/Volubra.rc)

if(WIN32)
  enable_language(RC)
  add_library(volubra_resources OBJECT ${VOLUBRA_RC})
  target_link_libraries(volubra_resources PRIVATE volubra_root)
  # The version resource belongs to the module file alone, so it stays out of
  # volubra_resources, which the test executables link too.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version.rc @ONLY)
  target_sources(Volubra PRIVATE $<TARGET_OBJECTS:volubra_resources>
                                 ${CMAKE_CURRENT_BINARY_DIR}/version.rc)
else()
  find_program(VOLUBRA_WINDRES NAMES i686-w64-mingw32-windres windres REQUIRED)
  set(VOLUBRA_RES ${CMAKE_CURRENT_BINARY_DIR}/Volubra.res)
  set(VOLUBRA_TEMPLATES_CPP ${CMAKE_CURRENT_BINARY_DIR}/module_dialog_templates.cpp)
  add_custom_command(
    OUTPUT ${VOLUBRA_RES}
    COMMAND ${VOLUBRA_WINDRES} -I ${CMAKE_SOURCE_DIR} -O res ${VOLUBRA_RC} -o ${VOLUBRA_RES}
    DEPENDS ${VOLUBRA_RC} ${CMAKE_CURRENT_LIST_DIR}/resource.h
    COMMENT "Compiling the module's resource script")
  add_custom_command(
    OUTPUT ${VOLUBRA_TEMPLATES_CPP}
    COMMAND dk_embed_dialogs ${VOLUBRA_RES} ${VOLUBRA_TEMPLATES_CPP} ModuleDialogTemplates
    DEPENDS dk_embed_dialogs ${VOLUBRA_RES}
    COMMENT "Embedding the module's dialog templates")
  target_sources(volubra_objs PRIVATE ${VOLUBRA_TEMPLATES_CPP})
  target_compile_definitions(volubra_objs PRIVATE VOLUBRA_EMBEDDED_TEMPLATES)
endif()
