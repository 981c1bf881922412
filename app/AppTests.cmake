# QTest: every <room>/tests/<Name>Test.cpp is one executable (QTEST_MAIN), run under the offscreen
# platform; the local HTTP server of testsupport is at hand for the network tests. The rooms' test
# folders are on the include path, so a room's test helpers serve the others too.
find_package(Qt6 REQUIRED COMPONENTS Test)
set(PRAVIX_APP_TEST_INCLUDES)
set(PRAVIX_APP_TESTS)
foreach(room ${PRAVIX_APP_ROOMS})
  list(APPEND PRAVIX_APP_TEST_INCLUDES ${CMAKE_CURRENT_SOURCE_DIR}/${room}/tests)
  file(GLOB room_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${room}/tests/*Test.cpp)
  list(APPEND PRAVIX_APP_TESTS ${room_tests})
endforeach()
# Qt's runtime folder in the build tree, private as Qt wants it: without one it makes a folder of its own
# in the temporary folder and leaves it there.
set(PRAVIX_QT_RUNTIME ${CMAKE_CURRENT_BINARY_DIR}/qt-runtime)
file(MAKE_DIRECTORY ${PRAVIX_QT_RUNTIME})
file(CHMOD ${PRAVIX_QT_RUNTIME} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
foreach(source ${PRAVIX_APP_TESTS})
  get_filename_component(name ${source} NAME_WE)
  get_filename_component(folder ${source} DIRECTORY)
  add_executable(${name} ${source})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_include_directories(${name} PRIVATE ${PRAVIX_APP_TEST_INCLUDES})
  target_link_libraries(${name} PRIVATE pravix_app pravix_testsupport pravix_testsupport_http pravix_testsupport_decoder
                                        Qt6::Test)
  add_test(NAME app.${name} COMMAND ${name} WORKING_DIRECTORY ${folder})
  set_tests_properties(app.${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${PRAVIX_QT_RUNTIME}")
endforeach()

# The real program: started and stopped (the smoke test) and installed into a temporary prefix.
if(TARGET pravix)
  target_compile_definitions(PravixSmokeTest PRIVATE PRAVIX_EXECUTABLE="$<TARGET_FILE:pravix>")
  add_dependencies(PravixSmokeTest pravix)
  target_compile_definitions(InstallTest PRIVATE PRAVIX_CMAKE_COMMAND="${CMAKE_COMMAND}"
                                                 PRAVIX_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(InstallTest pravix)
endif()

# A developer's look at the main window in any language, with screenshots of a batch
# (mainwindow/tests/tools/MainWindowShowcase.cpp); built with the tests, never run by CTest.
add_executable(pravix_mainwindow_showcase
               ${CMAKE_CURRENT_SOURCE_DIR}/mainwindow/tests/tools/MainWindowShowcase.cpp)
target_link_libraries(pravix_mainwindow_showcase PRIVATE pravix_app)

# A developer tool, not a test: pictures of the About and update-check windows (see its source).
add_executable(window_shots ${CMAKE_CURRENT_SOURCE_DIR}/windows/tests/WindowShots.cpp)
target_include_directories(window_shots PRIVATE ${PRAVIX_APP_TEST_INCLUDES})
target_link_libraries(window_shots PRIVATE pravix_app pravix_testsupport pravix_testsupport_http Qt6::Test)
