# Fails when a file of the window other than the dialog adapter includes
# QMessageBox or QFileDialog: every message and file choice goes through
# UserDialogs, so the tests can script them.
file(GLOB sources "${UI_DIR}/*.h" "${UI_DIR}/*.cpp")
set(offenders "")
foreach(source IN LISTS sources)
    get_filename_component(name "${source}" NAME)
    if(name STREQUAL "qtuserdialogs.cpp")
        continue()
    endif()
    file(STRINGS "${source}" hits REGEX "#include[ \t]*<(QMessageBox|QFileDialog)>|QMessageBox::|QFileDialog::")
    if(hits)
        list(APPEND offenders "${name}")
    endif()
endforeach()
if(offenders)
    message(FATAL_ERROR "message boxes or file dialogs outside the adapter: ${offenders}")
endif()
