ardour {
	["type"]    = "dsp",
	name        = "Larkwire Test Notes",
	category    = "Utility",
	license     = "MIT",
	author      = "Larkwire tests",
	description = [[Middle C on every half second for a quarter second; audio passes unchanged]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2, midi_out = 1 } }
end

local rate = 48000
local frame = 0

function dsp_init (r)
	rate = r
end

function dsp_run (ins, outs, n_samples)
	for c = 1, #ins do
		if ins[c] ~= outs[c] then ARDOUR.DSP.copy_vector (outs[c], ins[c], n_samples) end
	end
	local half = rate // 2
	local n = 1
	for s = 1, n_samples do
		local at = (frame + s - 1) % half
		if at == 0 then
			midiout[n] = { time = s, data = { 0x90, 60, 100 } }
			n = n + 1
		elseif at == half // 2 then
			midiout[n] = { time = s, data = { 0x80, 60, 64 } }
			n = n + 1
		end
	end
	frame = (frame + n_samples) % rate
end
