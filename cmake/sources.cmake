# The sources of the core library, grouped as the folders are.
set(LARKWIRE_CORE_SOURCES
  containers/heap_allocator.cpp
  containers/heap_buffer.cpp
  net/local_addresses.cpp
  net/network_endpoint.cpp
  net/packet_index.cpp
  net/udp_socket.cpp
  stream/channel_queue.cpp
  stream/channel_resampler.cpp
  stream/drift_estimator.cpp
  stream/fine_resampler.cpp
  stream/lane_kernels_sse2.cpp
  stream/lane_kernels_avx2.cpp
  stream/midi_stream.cpp
  stream/packet_format.cpp
  stream/process_calls.cpp
  stream/receive_playout.cpp
  stream/send_path.cpp
  shell/dispatcher.cpp
  shell/instance_settings.cpp
  shell/module_lifecycle.cpp
  shell/parameters.cpp
  shell/save_chunk.cpp
  shell/stream_effect.cpp
  editor/deferred_edit.cpp
  editor/recent_destinations.cpp
  editor/value_format.cpp
  editor/fader_model.cpp
  editor/meter_geometry.cpp
  editor/meter_levels.cpp
  editor/meter_tick.cpp
  editor/text_edit_model.cpp
  editor/dialog_layout.cpp
)

if(WIN32)
  list(APPEND LARKWIRE_CORE_SOURCES
    platform/win32/clock.cpp
    platform/win32/local_addresses.cpp
    platform/win32/lock.cpp
    platform/win32/module_path.cpp
    platform/win32/profile.cpp
    platform/win32/thread.cpp
    platform/win32/udp.cpp
    editor/win32/editor_dialog.cpp
    editor/win32/fader.cpp
    editor/win32/offscreen_bitmap.cpp
    editor/win32/vu_meter.cpp
    editor/win32/window_classes.cpp
    editor/message_loop_idle.cpp
  )
  set(LARKWIRE_RESOURCE_SOURCES resources/larkwire.rc)
else()
  list(APPEND LARKWIRE_CORE_SOURCES
    platform/posix/clock.cpp
    platform/posix/local_addresses.cpp
    platform/posix/lock.cpp
    platform/posix/module_path.cpp
    platform/posix/profile.cpp
    platform/posix/thread.cpp
    platform/posix/udp.cpp
  )
  if(LARKWIRE_X11_EDITOR)
    list(APPEND LARKWIRE_CORE_SOURCES
      editor/x11/clipboard.cpp
      editor/x11/editor_painting.cpp
      editor/x11/editor_window.cpp
      editor/x11/level_meter.cpp
      editor/x11/x11_canvas.cpp
      editor/x11/x11_editor.cpp
      editor/x11/x11_error_trap.cpp
    )
  else()
    list(APPEND LARKWIRE_CORE_SOURCES shell/no_editor.cpp)
  endif()
  set(LARKWIRE_RESOURCE_SOURCES)
endif()
