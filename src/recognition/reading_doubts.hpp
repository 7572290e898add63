#pragma once
// Doubts about a validated code that its check digit cannot settle: an owner letter whose
// check-digit twin spells another listed owner while the character network gives the twin a
// fair share of its belief, a character the check-digit choice put in that the network hardly
// reads, a code line that goes on past the reading's last box, and a check digit "read" in a frame
// that holds no digit.

#include <opencv2/core.hpp>
#include <string>

#include "classifier/character_net.hpp"
#include "classifier/owner_prefix_list.hpp"
#include "recognition/reading_pass.hpp"

namespace karvona::recognition {

/// From this share on (the twin's network probability over the twin's and the written
/// letter's together), an owner letter with a listed check-digit twin is not read clearly
/// enough to be sure of: the check digit gives the twin the same value, so only the letter's own
/// evidence tells the two owners apart. Fitted on the looks of training photographs (synthetic
/// seed 9101 and the real gate's training set): limits from 0.1 to 0.3 cost none of them its
/// perfect reading; a misread TEFU for TEPU had 0.16.
inline constexpr float kTwinOwnerShareLimit = 0.1f;

/// The largest share p(twin) / (p(twin) + p(written)) the network gives, over the owner letters
/// of code (positions 0 to 2) whose check-digit twin spells another owner of the list; 0 when no
/// owner letter has such a twin. Asks the network about the owner boxes it has not read yet;
/// boxes without a crop count 0.
float TwinOwnerNetShare(classifier::CharacterNet& net, const Reading& reading,
                        const std::string& code, const classifier::COwnerPrefixList& prefixes);

/// Below this network probability of the character written, a character the check-digit choice
/// put in is not read clearly enough to be sure of.
inline constexpr float kGuidedNetFloor = 0.05f;

/// The network's lowest probability of a character of code that differs from reading's own
/// (the check-digit choice changed it); 1 when none differs or the boxes were not read by it.
float GuidedNetProbability(const Reading& reading, const std::string& code);

/// Whether a box of a reading of eleven is more than a quarter taller than the median box: it
/// holds something beside its character (a streak of rust, a rod's end) that the codebook reads
/// with it.
bool HasTallBox(const Reading& reading);

/// Whether a character's crop (strokes 255 on 0) is a painted frame with nothing inside it: a
/// ring of thin paint along the four sides of its box and (almost) no paint within the ring.
bool IsEmptyFrame(const cv::Mat& crop);

/// Whether the check digit of a reading of eleven boxes stands on an empty frame: such a
/// reading has no check digit, whatever the codebook made of the frame.
bool CheckDigitIsEmptyFrame(const Reading& reading);

/// Whether the line of a code read across (any layout but 2 and 4) goes on past the reading's
/// last box: a mark as tall as the median box or a little taller (nine tenths to one and a half of
/// it: a framed character), on the last box's line, begins within two and a half box pitches to the
/// right of it. The reading then took in something before the code's end (a stain, a bar) and left
/// its true last character out. region is the located region as cut out, in which the reading's
/// boxes lie.
bool CodeLineGoesOn(const cv::Mat& region, const Reading& reading, int layoutCode);

/// Whether a reading of eleven boxes, in a layout of one, two or three lines (0 to 5), is not
/// EvenlySpaced as that layout writes the code (on one line, with the serial in two groups of
/// three or not): the reading skipped a character or split one in two (the two strokes of a U
/// read as I and 1, the serial shifted by one). False for any other reading, which this cannot
/// judge.
bool UnevenlySpaced(const Reading& reading, int layoutCode);

}  // namespace karvona::recognition
