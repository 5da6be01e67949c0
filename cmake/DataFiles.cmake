# The data files the program reads from its own folder, cbm.dll (the mascot's sprite) and
# mw.dll (its sound), are made by a small generator and put beside the program and beside
# the test programs, and so is the sound player module.
add_executable(norvane_generate_data_files
    ${CMAKE_CURRENT_SOURCE_DIR}/assets/generate_data_files.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/assets/mascot_picture.cpp)
target_include_directories(norvane_generate_data_files PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_features(norvane_generate_data_files PRIVATE cxx_std_20)
find_package(Qt6 REQUIRED COMPONENTS Svg)
target_link_libraries(norvane_generate_data_files PRIVATE Qt6::Gui Qt6::Svg norvane_warnings)

set(NORVANE_DATA_FOLDERS ${CMAKE_CURRENT_BINARY_DIR})
if(NORVANE_BUILD_TESTS)
    list(APPEND NORVANE_DATA_FOLDERS ${CMAKE_CURRENT_BINARY_DIR}/tests)
endif()

set(NORVANE_DATA_OUTPUTS)
set(NORVANE_DATA_COPIES)
foreach(folder IN LISTS NORVANE_DATA_FOLDERS)
    list(APPEND NORVANE_DATA_OUTPUTS ${folder}/cbm.dll ${folder}/mw.dll)
    if(NOT folder STREQUAL CMAKE_CURRENT_BINARY_DIR)
        list(APPEND NORVANE_DATA_COPIES
            COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
            COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_BINARY_DIR}/cbm.dll
                    ${CMAKE_CURRENT_BINARY_DIR}/mw.dll $<TARGET_FILE:norvane_sound> ${folder})
    endif()
endforeach()

add_custom_command(
    OUTPUT ${NORVANE_DATA_OUTPUTS}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:norvane_generate_data_files> ${CMAKE_CURRENT_BINARY_DIR}
    ${NORVANE_DATA_COPIES}
    DEPENDS norvane_generate_data_files norvane_sound
    COMMENT "Generating the mascot's sprite and sound"
    VERBATIM)
add_custom_target(norvane_data_files DEPENDS ${NORVANE_DATA_OUTPUTS})
add_dependencies(norvane norvane_data_files)
