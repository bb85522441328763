-- build_session.lua DIR NAME SECONDS: a session with one bus: test tone,
-- test notes, the plug-in, and the ACE MIDI monitor, rendered range 0..SECONDS.
local dir, name, seconds = arg[1], arg[2], tonumber (arg[3])
AudioEngine:set_backend ("None (Dummy)", "", "")
assert (AudioEngine:start (false) == 0, "the Dummy backend did not start")
local s = create_session (dir, name, 48000)
assert (s, "create_session failed")

local bus = Session:new_audio_route (2, 2, nil, 1, "Stream", ARDOUR.PresentationInfo.Flag.AudioBus, ARDOUR.PresentationInfo.max_order):front ()
bus:set_strict_io (false)
local function add (proc, what)
	assert (not proc:isnil (), what .. " could not be made")
	assert (bus:add_processor_by_index (proc, -1, nil, true) == 0, what .. " was refused by the bus")
	print ("added: " .. what)
end
add (ARDOUR.LuaAPI.new_luaproc (Session, "Larkwire Test Tone"), "tone")
add (ARDOUR.LuaAPI.new_luaproc (Session, "Larkwire Test Notes"), "notes")
add (ARDOUR.LuaAPI.new_plugin (Session, "Larkwire (Fernkit Edition)", ARDOUR.PluginType.LXVST, ""), "plug-in")
add (ARDOUR.LuaAPI.new_luaproc (Session, "ACE MIDI Monitor"), "MIDI monitor")

Session:locations ():add_range (Temporal.timepos_t (0), Temporal.timepos_t (48000 * seconds))
Session:save_state ("", false, false, false, false, false)
print ("saved: " .. dir .. "/" .. name .. ".ardour")
close_session ()
