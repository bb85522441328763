-- build_session.lua DIR NAME SECONDS [receive]: a session with one bus,
-- rendered range 0..SECONDS.
--   sending (default): test tone, test notes, a note log, the plug-in, ACE
--   MIDI monitor.
--   receive: the plug-in, a note log and the monitor; the bus feeds a track
--   "Capture" instead of the master, so a recording holds what arrived.
local dir, name, seconds, role = arg[1], arg[2], tonumber (arg[3]), arg[4]
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
if role ~= "receive" then
	add (ARDOUR.LuaAPI.new_luaproc (Session, "Larkwire Test Tone"), "tone")
	add (ARDOUR.LuaAPI.new_luaproc (Session, "Larkwire Test Notes"), "notes")
	add (ARDOUR.LuaAPI.new_luaproc (Session, "Larkwire Test Note Log"), "note log")
end
add (ARDOUR.LuaAPI.new_plugin (Session, "Larkwire (Fernkit Edition)", ARDOUR.PluginType.LXVST, ""), "plug-in")
if role == "receive" then
	add (ARDOUR.LuaAPI.new_luaproc (Session, "Larkwire Test Note Log"), "note log")
end
add (ARDOUR.LuaAPI.new_luaproc (Session, "ACE MIDI Monitor"), "MIDI monitor")

if role == "receive" then
	local track = Session:new_audio_track (2, 2, nil, 1, "Capture", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false):front ()
	assert (not track:isnil (), "the capture track could not be made")
	bus:output ():disconnect_all (nil)
	track:input ():disconnect_all (nil)
	for c = 0, 1 do
		local from = bus:output ():audio (c):name ()
		assert (track:input ():audio (c):connect (from) == 0, "cannot connect " .. from)
	end
	print ("added: capture track fed by the bus")
end

Session:locations ():add_range (Temporal.timepos_t (0), Temporal.timepos_t (48000 * seconds))
Session:save_state ("", false, false, false, false, false)
print ("saved: " .. dir .. "/" .. name .. ".ardour")
close_session ()
