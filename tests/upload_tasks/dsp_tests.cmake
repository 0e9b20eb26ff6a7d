# The DSP upload's tests against the simulated STB; included by this folder's
# CMakeLists.txt after the shared test support.
add_library(zarn_dsp_upload_fixture STATIC dsp_upload_fixture.cpp)
target_link_libraries(zarn_dsp_upload_fixture PUBLIC zarn_tasks_test_support zarn_stb_sim)
foreach(dsp_test dsp_upload_test dsp_failure_test dsp_stop_test dsp_memory_test dsp_fast_test)
  zarn_tasks_test(upload_tasks_${dsp_test} ${dsp_test}.cpp)
  target_link_libraries(upload_tasks_${dsp_test} PRIVATE zarn_dsp_upload_fixture)
endforeach()
