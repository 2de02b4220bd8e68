# Runs after the test discovery of printer_id_tests: one lock for all of them.
if(DEFINED printer_id_tests_TESTS)
  set_tests_properties(${printer_id_tests_TESTS} PROPERTIES RESOURCE_LOCK quenlow_program_directory)
endif()
