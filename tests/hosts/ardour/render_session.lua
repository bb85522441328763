-- render_session.lua DIR NAME FILE_BASE SECONDS ROLL_SECONDS [record]:
-- reopens the session, lets the engine run ROLL_SECONDS in real time (the
-- plug-in streams meanwhile), exports 0..SECONDS of the master bus as a
-- float WAV FILE_BASE.wav (SECONDS 0: no export), and prints what the MIDI
-- monitor saw. It saves before the export.
-- With "record", every track records from 0 while the engine runs, so the
-- export plays back what was captured in real time.
local dir, name, file, seconds, roll, record = arg[1], arg[2], arg[3], tonumber (arg[4]), tonumber (arg[5]), arg[6] == "record"
AudioEngine:set_backend ("None (Dummy)", "", "")
assert (AudioEngine:start (false) == 0, "the Dummy backend did not start")
assert (load_session (dir, name), "load_session failed")
print ("rate: " .. Session:nominal_sample_rate () .. ", block: " .. Session:get_block_size ())

if record then
	for track in Session:get_tracks ():iter () do
		track:rec_enable_control ():set_value (1, PBD.GroupControlDisposition.NoGroup)
	end
	Session:goto_start (false)
	Session:maybe_enable_record (false)
	Session:request_roll (ARDOUR.TransportRequestSource.TRS_UI)
	print ("recording")
end
-- A signal can end a sleep early, so the clock decides when the time is up.
local function wait_real_time (seconds)
	local finish = ARDOUR.LuaAPI.monotonic_time () + math.floor (seconds * 1000000)
	while ARDOUR.LuaAPI.monotonic_time () < finish do ARDOUR.LuaAPI.usleep (50000) end
end
local started = ARDOUR.LuaAPI.monotonic_time ()
wait_real_time (roll)
print (string.format ("ran: %.2f s in real time", (ARDOUR.LuaAPI.monotonic_time () - started) / 1e6))
if record then
	Session:request_stop (false, false, ARDOUR.TransportRequestSource.TRS_UI)
	-- The butler writes the capture out after the transport stops.
	local waited = 0
	while Session:transport_rolling () and waited < 50 do wait_real_time (0.1); waited = waited + 1 end
	wait_real_time (0.5)
	for track in Session:get_tracks ():iter () do
		track:rec_enable_control ():set_value (0, PBD.GroupControlDisposition.NoGroup)
		local t = track:to_track ()
		if not t:isnil () then print ("captured regions on " .. track:name () .. ": " .. t:playlist ():region_list ():size ()) end
	end
	Session:goto_start (false)
end

-- The monitor's ring of recent events (see the ACE MIDI Monitor script).
for route in Session:get_routes ():iter () do
	local i = 0
	while true do
		local proc = route:nth_plugin (i)
		if proc:isnil () then break end
		if proc:display_name () == "ACE MIDI Monitor" then
			local shmem = proc:to_insert ():plugin (0):to_luaproc ():shmem ()
			local ring = shmem:to_int (1):array ()
			local count = 0
			for slot = 0, 59 do
				local status = ring[slot * 3 + 1]
				if status >= 0 then
					count = count + 1
					print (string.format ("monitor: %02x %02x %02x", status, ring[slot * 3 + 2], ring[slot * 3 + 3]))
				end
			end
			print ("monitor events: " .. count)
		elseif proc:display_name () == "Larkwire Test Note Log" then
			-- Oldest first: status, key, offset in the cycle.
			local shmem = proc:to_insert ():plugin (0):to_luaproc ():shmem ()
			local seen = shmem:atomic_get_int (0)
			local ring = shmem:to_int (1):array ()
			local first = seen > 256 and seen - 256 or 0
			for n = first, seen - 1 do
				local at = (n % 256) * 3
				print (string.format ("log: %02x %02x %d", ring[at + 1], ring[at + 2], ring[at + 3]))
			end
			print ("log events: " .. seen)
		end
		i = i + 1
	end
end

-- Saved before the export: Ardour can die tidying up after an export.
Session:save_state ("", false, false, false, false, false)
print ("saved: " .. dir .. "/" .. name .. ".ardour")
if seconds == 0 then
	print ("rendered: nothing (no export asked for)")
	close_session ()
	return
end
local export = Session:simple_export ()
assert (export:set_preset ("0d5c3e71-9b2a-4f48-8e3d-6a7f1c2b9e04"), "the float WAV export preset is missing")
export:set_range (0, math.floor (48000 * seconds))
export:set_folder (file:match ("^(.*)/[^/]*$"))
export:set_name (file:match ("([^/]*)$"))
assert (export:check_outputs (), "nothing to export")
assert (export:run_export (), "the export failed")
print ("rendered: " .. file .. ".wav")
close_session ()
