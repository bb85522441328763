ardour {
	["type"]    = "dsp",
	name        = "Larkwire Test Tone",
	category    = "Utility",
	license     = "MIT",
	author      = "Larkwire tests",
	description = [[440 Hz on the left, 660 Hz on the right, peak 0.5; whole cycles per second, so any dropped or repeated block shows]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

local rate = 48000
local frame = 0 -- counts modulo the rate: both tones repeat exactly every second

function dsp_init (r)
	rate = r
end

function dsp_run (ins, outs, n_samples)
	local hz = { 440, 660 }
	for c = 1, #outs do
		local out = outs[c]:array ()
		local step = 2 * math.pi * hz[c] / rate
		for s = 1, n_samples do
			out[s] = 0.5 * math.sin (step * ((frame + s - 1) % rate))
		end
	end
	frame = (frame + n_samples) % rate
end
