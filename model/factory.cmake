# The factory copies of the configuration files live next to the executable,
# in the program folder; on the first run they are copied into config/.
# Copied at build time so that a program started from the build tree finds
# them as an installed one does.
set(VELORIX_FACTORY_FILES device.ini hardware.ini)
set(_velorix_factory_outputs "")
foreach(_file IN LISTS VELORIX_FACTORY_FILES)
    set(_source ${CMAKE_CURRENT_LIST_DIR}/factory/${_file})
    set(_target ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_file})
    add_custom_command(
        OUTPUT ${_target}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_source} ${_target}
        DEPENDS ${_source}
        COMMENT "Copying factory ${_file} into the program folder"
        VERBATIM)
    list(APPEND _velorix_factory_outputs ${_target})
endforeach()
add_custom_target(velorix_factory_files ALL DEPENDS ${_velorix_factory_outputs})
unset(_velorix_factory_outputs)
unset(_source)
unset(_target)
unset(_file)
